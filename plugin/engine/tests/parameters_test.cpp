// The parameters object on the fake host: its one parameter, the host-dependent default of
// takes requested, and the timeline selection it reads from the transport.

#include <cstring>

#include "AAX_CString.h"
#include "engine_test_support.h"

namespace {

TEST(Parameters, BypassIsTheOnlyParameterAndNeverSaved) {
  qm::host::FakeHost host;
  qmtest::PluginInstance instance(host);
  int32_t count = 0;
  EXPECT_EQ(instance.parameters->GetNumberOfParameters(&count), 0);
  EXPECT_EQ(count, 1);
  AAX_CString id;
  EXPECT_EQ(instance.parameters->GetMasterBypassParameter(&id), 0);
  EXPECT_EQ(id.StdString(), "MasterBypassID");
  AAX_CString name;
  instance.parameters->GetParameterName("MasterBypassID", &name);
  EXPECT_EQ(name.StdString(), "Bypass");
  uint32_t size = 0;
  EXPECT_EQ(instance.parameters->GetChunkSize(QMBlockID("elck"), &size), 0);
  EXPECT_EQ(size, 4u);
}

TEST(Parameters, TakesRequestedDefaultsByHost) {
  struct Case {
    const char* hostName;
    int takes;
  };
  const Case cases[] = {{"Pro Tools", 3}, {"AvidMediaComposer", 1}, {"Avid Media Composer 2024", 1},
                        {"media composer", 3}};
  for (const auto& c : cases) {
    qm::host::FakeHost host;
    host.Controller().SetHostName(c.hostName);
    qmtest::PluginInstance instance(host);
    EXPECT_EQ(instance.Byte(kQMBlock_Takes), c.takes) << c.hostName;
  }
  Quillomancer_Parameters before;  // not initialised
  uint8_t takes = 0;
  uint32_t n = 0;
  before.GetCustomData(kQMBlock_Takes, 1, &takes, &n);
  EXPECT_EQ(takes, 3);
}

TEST(Parameters, TimelineSelectionComesFromTheTransport) {
  qm::host::FakeHost host;
  qmtest::PluginInstance instance(host);
  host.Transport().SetTimelineSelection(4800, 96000);
  const std::string block = instance.Block(kQMBlock_TimelineSelection, 24);
  ASSERT_EQ(block.size(), 24u);
  int64_t start = 0, end = 0;
  std::memcpy(&start, block.data(), 8);
  std::memcpy(&end, block.data() + 8, 8);
  EXPECT_EQ(start, 4800);
  EXPECT_EQ(end, 96000);
  EXPECT_EQ(block[16], 1);

}

TEST(Parameters, TransportWithoutSelectionQueriesGivesZeros) {
  qm::host::FakeHost host;
  host.Transport().SetVersion(1);  // the selection needs the second and fourth versions
  host.Transport().SetTimelineSelection(4800, 96000);
  qmtest::PluginInstance instance(host);
  EXPECT_EQ(instance.Block(kQMBlock_TimelineSelection, 24), std::string(24, '\0'));
}

}  // namespace
