#include "AAX_CString.h"
#include "AAX_Errors.h"
#include "AAX_UIDs.h"
#include "AAX_VAutomationDelegate.h"
#include "AAX_VController.h"
#include "AAX_VHostProcessorDelegate.h"
#include "AAX_VPageTable.h"
#include "AAX_VTransport.h"
#include "AAX_VViewContainer.h"
#include "qm/host/fake_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

namespace {

using qm::host::FakeHost;

struct Answer {
  const char* operation;
  std::function<AAX_Result()> call;
  AAX_Result expected;
};

void ExpectAnswers(const std::vector<Answer>& answers) {
  for (const Answer& answer : answers) EXPECT_EQ(answer.call(), answer.expected) << answer.operation;
}

// ---- answers when the host has nothing ----

TEST(WrappersOnNullHost, ControllerAnswersFixedCodes) {
  AAX_VController c(nullptr);
  AAX_CString s;
  float f = 0;
  int32_t i = 0;
  int64_t l = 7;
  uint8_t b = 0;
  uint32_t u = 0;
  uint64_t ul = 0;
  AAX_EStemFormat stem{};
  AAX_CFieldIndex port = 0;
  AAX_CMidiPacket packet;
  const std::vector<Answer> answers = {
      {"GetEffectID", [&] { return c.GetEffectID(&s); }, -20004},
      {"GetSampleRate", [&] { return c.GetSampleRate(&f); }, -20004},
      {"GetInputStemFormat", [&] { return c.GetInputStemFormat(&stem); }, -20004},
      {"GetOutputStemFormat", [&] { return c.GetOutputStemFormat(&stem); }, -20004},
      {"GetSignalLatency", [&] { return c.GetSignalLatency(&i); }, -20004},
      {"GetCycleCount", [&] { return c.GetCycleCount(AAX_EProperty{}, &i); }, -20004},
      {"GetTODLocation", [&] { return c.GetTODLocation(&l); }, -20004},
      {"SetSignalLatency", [&] { return c.SetSignalLatency(1); }, -20004},
      {"SetCycleCount", [&] { return c.SetCycleCount(nullptr, nullptr, 0); }, -20004},
      {"PostPacket", [&] { return c.PostPacket(0, nullptr, 0); }, -20004},
      {"SendNotification", [&] { return c.SendNotification(1, nullptr, 0); }, -20009},
      {"SendNotification(type)", [&] { return c.SendNotification(1); }, -20009},
      {"GetCurrentMeterValue", [&] { return c.GetCurrentMeterValue(0, &f); }, -20004},
      {"GetMeterPeakValue", [&] { return c.GetMeterPeakValue(0, &f); }, -20004},
      {"ClearMeterPeakValue", [&] { return c.ClearMeterPeakValue(0); }, -20004},
      {"GetMeterCount", [&] { return c.GetMeterCount(&u); }, -20004},
      {"GetMeterClipped", [&] { return c.GetMeterClipped(0, &b); }, -20004},
      {"ClearMeterClipped", [&] { return c.ClearMeterClipped(0); }, -20004},
      {"GetNextMIDIPacket", [&] { return c.GetNextMIDIPacket(&port, &packet); }, -20004},
      {"GetHybridSignalLatency", [&] { return c.GetHybridSignalLatency(&i); }, -20009},
      {"GetCurrentAutomationTimestamp", [&] { return c.GetCurrentAutomationTimestamp(&l); }, -20009},
      {"GetHostName", [&] { return c.GetHostName(&s); }, -20009},
      {"GetPlugInTargetPlatform", [&] { return c.GetPlugInTargetPlatform(&i); }, -20009},
      {"GetIsAudioSuite", [&] { return c.GetIsAudioSuite(&b); }, -20009},
      {"GetInstanceGroupID", [&] { return c.GetInstanceGroupID(&ul); }, -20009},
      {"GetInstanceID", [&] { return c.GetInstanceID(&u); }, -20009},
      {"RegisterForNotification", [&] { return c.RegisterForNotification(1, nullptr); }, -20009},
  };
  ExpectAnswers(answers);
  EXPECT_EQ(l, 0);  // the timestamp is the one out value written when missing
  EXPECT_EQ(c.CreateTableCopyForEffect(1, 2, 3, 4, 5), nullptr);
  EXPECT_EQ(c.CreateTableCopyForLayout("e", "l", 4, 5), nullptr);
  EXPECT_EQ(c.CreateTableCopyForEffectFromFile("p", AAX_eTextEncoding_UTF8, 1, 2, 3, 4, 5), nullptr);
  EXPECT_EQ(c.CreateTableCopyForLayoutFromFile("p", AAX_eTextEncoding_UTF8, "l", 4, 5), nullptr);
  EXPECT_EQ(c.GetCurrentAutomationTimestamp(nullptr), -20009);
}

TEST(WrappersOnNullHost, TransportAnswersFixedCodes) {
  AAX_VTransport t(nullptr);
  double d = 0;
  int32_t i = 0, j = 0;
  int64_t l = 0, m = 0;
  bool b = false;
  uint32_t u = 0;
  AAX_EFrameRate rate{};
  AAX_EFeetFramesRate feet{};
  const std::vector<Answer> answers = {
      {"GetCurrentTempo", [&] { return t.GetCurrentTempo(&d); }, -20004},
      {"GetCurrentMeter", [&] { return t.GetCurrentMeter(&i, &j); }, -20004},
      {"IsTransportPlaying", [&] { return t.IsTransportPlaying(&b); }, -20004},
      {"GetCurrentTickPosition", [&] { return t.GetCurrentTickPosition(&l); }, -20004},
      {"GetCurrentLoopPosition", [&] { return t.GetCurrentLoopPosition(&b, &l, &m); }, -20004},
      {"GetCurrentNativeSampleLocation", [&] { return t.GetCurrentNativeSampleLocation(&l); }, -20004},
      {"GetCustomTickPosition", [&] { return t.GetCustomTickPosition(&l, 0); }, -20004},
      {"GetBarBeatPosition", [&] { return t.GetBarBeatPosition(&i, &j, &l, 0); }, -20004},
      {"GetTicksPerQuarter", [&] { return t.GetTicksPerQuarter(&u); }, -20004},
      {"GetCurrentTicksPerBeat", [&] { return t.GetCurrentTicksPerBeat(&u); }, -20004},
      {"GetTimelineSelectionStartPosition", [&] { return t.GetTimelineSelectionStartPosition(&l); }, -20009},
      {"GetTimeCodeInfo", [&] { return t.GetTimeCodeInfo(&rate, &i); }, -20009},
      {"GetFeetFramesInfo", [&] { return t.GetFeetFramesInfo(&feet, &l); }, -20009},
      {"IsMetronomeEnabled", [&] { return t.IsMetronomeEnabled(&i); }, -20009},
      {"GetHDTimeCodeInfo", [&] { return t.GetHDTimeCodeInfo(&rate, &l); }, -20009},
      {"RequestTransportStart", [&] { return t.RequestTransportStart(); }, -20009},
      {"RequestTransportStop", [&] { return t.RequestTransportStop(); }, -20009},
      {"GetTimelineSelectionEndPosition", [&] { return t.GetTimelineSelectionEndPosition(&l); }, -20009},
      {"GetKeySignature", [&] { return t.GetKeySignature(0, &u); }, -20009},
  };
  ExpectAnswers(answers);
}

TEST(WrappersOnNullHost, DelegatesViewContainerAndPageTable) {
  AAX_VHostProcessorDelegate d(nullptr);
  int32_t n = 4;
  EXPECT_EQ(d.GetAudio(nullptr, 0, 0, &n), -20004);
  EXPECT_EQ(d.GetSideChainInputNum(), 0);
  EXPECT_EQ(d.ForceAnalyze(), -20009);
  EXPECT_EQ(d.ForceProcess(), -20009);

  AAX_VAutomationDelegate a(nullptr);
  uint8_t touched = 0;
  const std::vector<Answer> automation = {
      {"RegisterParameter", [&] { return a.RegisterParameter("p"); }, -20004},
      {"UnregisterParameter", [&] { return a.UnregisterParameter("p"); }, -20004},
      {"PostSetValueRequest", [&] { return a.PostSetValueRequest("p", 0.5); }, -20004},
      {"PostCurrentValue", [&] { return a.PostCurrentValue("p", 0.5); }, -20004},
      {"PostTouchRequest", [&] { return a.PostTouchRequest("p"); }, -20004},
      {"PostReleaseRequest", [&] { return a.PostReleaseRequest("p"); }, -20004},
      {"GetTouchState", [&] { return a.GetTouchState("p", &touched); }, -20004},
      {"ParameterNameChanged", [&] { return a.ParameterNameChanged("p"); }, -20009},
  };
  ExpectAnswers(automation);

  AAX_VViewContainer v(nullptr);
  uint32_t modifiers = 0;
  AAX_Point size;
  const AAX_CParamID ids[] = {"p"};
  EXPECT_EQ(v.GetType(), 0);
  EXPECT_EQ(v.GetPtr(), nullptr);
  EXPECT_EQ(v.SetViewSize(size), 0);
  const std::vector<Answer> container = {
      {"GetModifiers", [&] { return v.GetModifiers(&modifiers); }, -20009},
      {"HandleParameterMouseDown", [&] { return v.HandleParameterMouseDown("p", 0); }, -20009},
      {"HandleParameterMouseDrag", [&] { return v.HandleParameterMouseDrag("p", 0); }, -20009},
      {"HandleParameterMouseUp", [&] { return v.HandleParameterMouseUp("p", 0); }, -20009},
      {"HandleParameterMouseEnter", [&] { return v.HandleParameterMouseEnter("p", 0); }, -20009},
      {"HandleParameterMouseExit", [&] { return v.HandleParameterMouseExit("p", 0); }, -20009},
      {"HandleMultipleParametersMouseDown", [&] { return v.HandleMultipleParametersMouseDown(ids, 1, 0); }, -20009},
      {"HandleMultipleParametersMouseDrag", [&] { return v.HandleMultipleParametersMouseDrag(ids, 1, 0); }, -20009},
      {"HandleMultipleParametersMouseUp", [&] { return v.HandleMultipleParametersMouseUp(ids, 1, 0); }, -20009},
  };
  ExpectAnswers(container);

  AAX_VPageTable p(nullptr);
  uint8_t empty = 0;
  int32_t count = 0;
  AAX_CString text;
  const std::vector<Answer> table = {
      {"Clear", [&] { return p.Clear(); }, -20009},
      {"Empty", [&] { return p.Empty(empty); }, -20009},
      {"GetNumPages", [&] { return p.GetNumPages(count); }, -20009},
      {"InsertPage", [&] { return p.InsertPage(0); }, -20009},
      {"RemovePage", [&] { return p.RemovePage(0); }, -20009},
      {"GetNumMappedParameterIDs", [&] { return p.GetNumMappedParameterIDs(0, count); }, -20009},
      {"ClearMappedParameter", [&] { return p.ClearMappedParameter(0, 0); }, -20009},
      {"GetMappedParameterID", [&] { return p.GetMappedParameterID(0, 0, text); }, -20009},
      {"MapParameterID", [&] { return p.MapParameterID("p", 0, 0); }, -20009},
      {"GetNumParametersWithNameVariations", [&] { return p.GetNumParametersWithNameVariations(count); }, -20009},
      {"GetNameVariationParameterIDAtIndex", [&] { return p.GetNameVariationParameterIDAtIndex(0, text); }, -20009},
      {"GetNumNameVariationsForParameter", [&] { return p.GetNumNameVariationsForParameter("p", count); }, -20009},
      {"GetParameterNameVariationAtIndex", [&] { return p.GetParameterNameVariationAtIndex("p", 0, text, count); }, -20009},
      {"GetParameterNameVariationOfLength", [&] { return p.GetParameterNameVariationOfLength("p", 4, text); }, -20009},
      {"ClearParameterNameVariations", [&] { return p.ClearParameterNameVariations(); }, -20009},
      {"ClearNameVariationsForParameter", [&] { return p.ClearNameVariationsForParameter("p"); }, -20009},
      {"SetParameterNameVariation", [&] { return p.SetParameterNameVariation("p", text, 4); }, -20009},
  };
  ExpectAnswers(table);
}

// ---- older hosts ----

TEST(Controller, FirstVersionHostForwardsSampleRateButNotHostName) {
  FakeHost host;
  host.Controller().SetVersion(1);
  host.Controller().SetSampleRate(44100.0f);
  {
    AAX_VController controller(host.Unknown());
    float rate = 0;
    EXPECT_EQ(controller.GetSampleRate(&rate), 0);
    EXPECT_EQ(rate, 44100.0f);
    AAX_CString name("untouched");
    EXPECT_EQ(controller.GetHostName(&name), -20009);
    EXPECT_EQ(name, "untouched");
    int64_t stamp = 5;
    EXPECT_EQ(controller.GetCurrentAutomationTimestamp(&stamp), -20009);
    EXPECT_EQ(stamp, 0);
    EXPECT_EQ(host.Controller().CallCount("GetHostName"), 0u);
    EXPECT_EQ(controller.GetSampleRate(nullptr), AAX_ERROR_NULL_ARGUMENT);
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(Controller, NewestHostAnswersNameAndNotifications) {
  FakeHost host;
  host.Controller().SetHostName("Media Composer");
  {
    AAX_VController controller(host.Unknown());
    AAX_CString name;
    EXPECT_EQ(controller.GetHostName(&name), 0);
    EXPECT_EQ(name, "Media Composer");
    EXPECT_EQ(controller.SendNotification(0x41535076), 0);
    ASSERT_EQ(host.Controller().Notifications().size(), 1u);
    EXPECT_TRUE(host.Controller().Notifications()[0].data.empty());
    host.Controller().FailOperation("GetSampleRate", -20011, 1);
    float rate = 0;
    EXPECT_EQ(controller.GetSampleRate(&rate), -20011);  // the host's answer unchanged
    EXPECT_EQ(controller.GetSampleRate(&rate), 0);
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(Controller, PageTableCopies) {
  FakeHost host;
  {
    AAX_VController controller(host.Unknown());
    std::unique_ptr<AAX_IPageTable> table(controller.CreateTableCopyForEffect(1, 2, 3, 0, 4));
    ASSERT_NE(table, nullptr);
    int32_t pages = 0;
    EXPECT_EQ(table->GetNumPages(pages), 0);
    EXPECT_EQ(pages, 1);
    host.Controller().FailOperation("CopyTableForLayout", -20012, 1);
    EXPECT_EQ(controller.CreateTableCopyForLayout("e", "l", 0, 4), nullptr);  // the table is dropped
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(Controller, PageTablesNeedTheControllerAndTheFactory) {
  FakeHost host;
  host.Controller().SetVersion(0, qm::host::FakeController::kPageTableControllerGroup);
  {
    AAX_VController controller(host.Unknown());
    EXPECT_EQ(controller.CreateTableCopyForEffect(1, 2, 3, 0, 4), nullptr);
    EXPECT_TRUE(host.PageTables().empty());  // nothing created
  }
  host.Controller().SetVersion(1, qm::host::FakeController::kPageTableControllerGroup);
  host.Factory().SetVersion(0);
  {
    AAX_VController controller(host.Unknown());
    EXPECT_EQ(controller.CreateTableCopyForEffectFromFile("p", AAX_eTextEncoding_UTF8, 1, 2, 3, 0, 4), nullptr);
    // Without a factory the host is still asked, with a null table, and nothing is wrapped.
    EXPECT_EQ(controller.CreateTableCopyForEffect(1, 2, 3, 0, 4), nullptr);
    EXPECT_EQ(host.Controller().CallCount("CopyTableForEffect"), 1u);
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

struct SelectionCase {
  int version;
  AAX_Result start;
  AAX_Result end;
};

TEST(Transport, SelectionNeedsSecondAndFourthVersions) {
  const SelectionCase cases[] = {{1, -20009, -20009}, {2, 0, -20009}, {3, 0, -20009}, {4, 0, 0}, {5, 0, 0}};
  for (const SelectionCase& c : cases) {
    FakeHost host;
    host.Transport().SetVersion(c.version);
    host.Transport().SetTimelineSelection(480, 96000);
    {
      AAX_VTransport transport(host.Unknown());
      int64_t start = -1, end = -1;
      EXPECT_EQ(transport.GetTimelineSelectionStartPosition(&start), c.start) << "version " << c.version;
      EXPECT_EQ(transport.GetTimelineSelectionEndPosition(&end), c.end) << "version " << c.version;
      if (c.start == 0) {
        EXPECT_EQ(start, 480);
      }
      if (c.end == 0) {
        EXPECT_EQ(end, 96000);
      }
    }
    EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
  }
}

TEST(HostProcessorDelegate, NewestFirstBindingTakesOneReferencePerMember) {
  FakeHost host;
  {
    AAX_VHostProcessorDelegate delegate(host.Unknown());
    EXPECT_EQ(host.ProcessorDelegate().References(), 3);
    EXPECT_EQ(delegate.ForceProcess(), 0);
  }
  EXPECT_EQ(host.ProcessorDelegate().References(), 0);

  host.ProcessorDelegate().SetVersion(1);
  host.ProcessorDelegate().SetTimelineAudio({{0.5f, 0.25f}});
  {
    AAX_VHostProcessorDelegate delegate(host.Unknown());
    EXPECT_EQ(host.ProcessorDelegate().References(), 1);
    EXPECT_EQ(delegate.ForceAnalyze(), -20009);
    float buffer[3] = {9, 9, 9};
    const float* const channels[] = {buffer};
    int32_t samples = 3;
    EXPECT_EQ(delegate.GetAudio(channels, 1, 0, &samples), 0);
    EXPECT_EQ(buffer[0], 0.5f);
    EXPECT_EQ(buffer[1], 0.25f);
    EXPECT_EQ(buffer[2], 0.0f);
  }
  host.ProcessorDelegate().SetVersion(2);
  bool analyzed = false;
  host.ProcessorDelegate().OnForceAnalyze([&] {
    analyzed = true;
    return 0;
  });
  {
    AAX_VHostProcessorDelegate delegate(host.Unknown());
    EXPECT_EQ(host.ProcessorDelegate().References(), 2);
    EXPECT_EQ(delegate.ForceAnalyze(), 0);
    EXPECT_TRUE(analyzed);
    EXPECT_EQ(delegate.ForceProcess(), -20009);
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(AutomationDelegate, ParameterNameChangedSendsIdentifierWithItsZeroByte) {
  FakeHost host;
  {
    AAX_VAutomationDelegate automation(host.Unknown());
    EXPECT_EQ(automation.ParameterNameChanged("Gain"), 0);
    const auto sent = host.Controller().Notifications();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].type, 0x4158706Eu);
    ASSERT_EQ(sent[0].data.size(), 5u);
    EXPECT_EQ(std::memcmp(sent[0].data.data(), "Gain", 5), 0);

    const std::string thirtyOne(31, 'x');
    EXPECT_EQ(automation.ParameterNameChanged(thirtyOne.c_str()), 0);
    EXPECT_EQ(host.Controller().Notifications().back().data.size(), 32u);
    const std::string thirtyTwo(32, 'x');
    EXPECT_EQ(automation.ParameterNameChanged(thirtyTwo.c_str()), -20001);
    EXPECT_EQ(automation.ParameterNameChanged(""), -20001);
    EXPECT_EQ(automation.ParameterNameChanged(nullptr), -20001);
    EXPECT_EQ(host.Controller().Notifications().size(), 2u);

    // A null identifier never reaches the host.
    EXPECT_EQ(automation.RegisterParameter(nullptr), -20001);
    EXPECT_EQ(automation.RegisterParameter("Gain"), 0);
    uint8_t touched = 1;
    EXPECT_EQ(automation.GetTouchState("Gain", &touched), 0);
    EXPECT_EQ(touched, 0);
    EXPECT_EQ(automation.GetTouchState("Gain", nullptr), -20044);
    EXPECT_EQ(host.Automation().CallCount("RegisterParameter"), 1u);
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(ViewContainer, OlderContainerAndNoReleaseOnDestruction) {
  FakeHost host;
  int view = 0;
  qm::host::FakeViewContainer& container = host.NewViewContainer(1, &view);
  container.SetVersion(1);
  {
    AAX_VViewContainer wrapper(static_cast<AAX_IACFViewContainer*>(&container));
    EXPECT_EQ(container.References(), 1);
    const AAX_CParamID ids[] = {"p", nullptr};
    EXPECT_EQ(wrapper.HandleMultipleParametersMouseDown(ids, 1, 0), -20009);
    EXPECT_EQ(wrapper.GetPtr(), &view);
    EXPECT_EQ(wrapper.GetType(), 1);
    EXPECT_EQ(wrapper.HandleParameterMouseDown(nullptr, 0), -20001);
    AAX_Point size;
    size.vert = 600;
    size.horz = 800;
    EXPECT_EQ(wrapper.SetViewSize(size), 0);
    EXPECT_EQ(container.LastViewSize().horz, 800.0f);
  }
  EXPECT_EQ(container.References(), 1);  // detached, not released
  EXPECT_EQ(container.OverReleases(), 0);

  container.SetVersion(3);
  {
    AAX_VViewContainer wrapper(static_cast<AAX_IACFViewContainer*>(&container));
    const AAX_CParamID ids[] = {"p", nullptr};
    EXPECT_EQ(wrapper.HandleMultipleParametersMouseDown(ids, 1, 0), 0);
    EXPECT_EQ(wrapper.HandleMultipleParametersMouseDown(ids, 2, 0), -20001);
    EXPECT_EQ(wrapper.HandleMultipleParametersMouseUp(nullptr, 1, 0), -20001);
    EXPECT_EQ(wrapper.HandleParameterMouseEnter("p", 0), 0);
  }
  EXPECT_EQ(container.References(), 4);
}

TEST(Wrappers, DeletingReleasesEveryMemberOnce) {
  FakeHost host;
  auto* controller = new AAX_VController(host.Unknown());
  EXPECT_EQ(host.Controller().References(), 7);  // five controller and two page-table versions
  EXPECT_EQ(host.Factory().References(), 1);
  auto* transport = new AAX_VTransport(host.Unknown());
  EXPECT_EQ(host.Transport().References(), 6);
  auto* automation = new AAX_VAutomationDelegate(host.Unknown());
  EXPECT_EQ(host.Automation().References(), 1);
  EXPECT_EQ(host.Controller().References(), 8);
  delete controller;
  delete transport;
  delete automation;
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(PageTableWrapper, ForwardsToTheHostTable) {
  FakeHost host;
  host.Versions().pageTable = 1;
  {
    AAX_VController controller(host.Unknown());
    std::unique_ptr<AAX_IPageTable> table(controller.CreateTableCopyForLayout("e", "l", 0, 4));
    // A first-version table: the factory asked for the second version, so none is created.
    EXPECT_EQ(table, nullptr);
  }
  host.Versions().pageTable = 2;
  {
    AAX_VController controller(host.Unknown());
    std::unique_ptr<AAX_IPageTable> table(controller.CreateTableCopyForLayout("e", "l", 0, 4));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->MapParameterID("MasterBypassID", 0, 2), 0);
    EXPECT_EQ(table->MapParameterID(nullptr, 0, 2), -20001);
    AAX_CString id;
    EXPECT_EQ(table->GetMappedParameterID(0, 2, id), 0);
    EXPECT_EQ(id, "MasterBypassID");
    EXPECT_EQ(table->SetParameterNameVariation("MasterBypassID", AAX_CString("Byp"), 3), 0);
    EXPECT_EQ(table->GetParameterNameVariationOfLength("MasterBypassID", 3, id), 0);
    EXPECT_EQ(id, "Byp");
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

}  // namespace
