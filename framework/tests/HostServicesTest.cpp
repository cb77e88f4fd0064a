#include "AAX_CHostServices.h"
#include "AAX_CheckedResult.h"
#include "AAX_Errors.h"
#include "AAX_Exception.h"
#include "AAX_VHostServices.h"
#include "qm/host/fake_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using qm::host::FakeHost;

// Every test leaves the process-wide facade without a wrapper, before its host goes away.
class HostServicesTest : public testing::Test {
protected:
  void TearDown() override { AAX_CHostServices::Set(nullptr); }
  FakeHost host;
};

TEST_F(HostServicesTest, ReportsAreDroppedWithoutStartUp) {
  EXPECT_EQ(AAX_CHostServices::Trace(AAX_eTracePriorityHost_High, "nobody hears %d", 1), 0);
  EXPECT_EQ(AAX_CHostServices::StackTrace(1, 2, "nobody"), 0);
  EXPECT_EQ(AAX_CHostServices::HandleAssertFailure("f", 1, "x", 1), 0);
  AAX_CHostServices::Set(nullptr);  // nothing to delete: nothing happens
}

TEST_F(HostServicesTest, TraceReachesTheHostWithItsPriority) {
  AAX_CHostServices::Set(host.Unknown());
  EXPECT_EQ(AAX_CHostServices::Trace(AAX_eTracePriorityHost_High, "AAXRegisterPlugin exception caught: %s", "unknown"), 0);
  const auto traces = host.HostServices().Traces();
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_EQ(traces[0].priority, 0x08000000);
  EXPECT_EQ(traces[0].text, "AAXRegisterPlugin exception caught: unknown");

  EXPECT_EQ(AAX_CHostServices::StackTrace(0x10000000, 0x04000000, "stack %s", "here"), 0);
  ASSERT_EQ(host.HostServices().StackTraces().size(), 1u);
  EXPECT_EQ(host.HostServices().StackTraces()[0].text, "stack here");

  EXPECT_EQ(AAX_CHostServices::HandleAssertFailure("/src/AAX_CParameter", 204, "len < 32", 1), 0);
  const auto asserts = host.HostServices().Asserts();
  ASSERT_EQ(asserts.size(), 1u);
  EXPECT_EQ(asserts[0].file, "/src/AAX_CParameter");
  EXPECT_EQ(asserts[0].line, 204);
  EXPECT_EQ(asserts[0].note, "len < 32");
  EXPECT_EQ(asserts[0].options, 1);
  AAX_CHostServices::Set(nullptr);
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST_F(HostServicesTest, LongTraceIsCutTo511Characters) {
  AAX_CHostServices::Set(host.Unknown());
  const std::string longText(700, 'a');
  AAX_CHostServices::Trace(AAX_eTracePriorityHost_Normal, "%s", longText.c_str());
  ASSERT_EQ(host.HostServices().Traces().size(), 1u);
  EXPECT_EQ(host.HostServices().Traces()[0].text, std::string(511, 'a'));
}

TEST_F(HostServicesTest, UnformattableTraceAnswers20051AndReachesNobody) {
  AAX_CHostServices::Set(host.Unknown());
  // A wide character that the C locale cannot convert makes formatting fail.
  EXPECT_EQ(AAX_CHostServices::Trace(AAX_eTracePriorityHost_Normal, "%ls", L"\u00e9"), -20051);
  EXPECT_TRUE(host.HostServices().Traces().empty());
}

TEST_F(HostServicesTest, SecondStartUpKeepsTheFirstHost) {
  FakeHost first;
  FakeHost second;
  AAX_CHostServices::Set(first.Unknown());
  AAX_CHostServices::Set(second.Unknown());
  AAX_CHostServices::Trace(AAX_eTracePriorityHost_Normal, "to the first");
  EXPECT_EQ(first.HostServices().Traces().size(), 1u);
  EXPECT_TRUE(second.HostServices().Traces().empty());
  EXPECT_TRUE(second.Balanced());
  AAX_CHostServices::Set(nullptr);
  EXPECT_TRUE(first.Balanced()) << testing::PrintToString(first.Unbalanced());
  AAX_CHostServices::Trace(AAX_eTracePriorityHost_Normal, "after shut-down");
  EXPECT_EQ(first.HostServices().Traces().size(), 1u);
}

struct ServicesVersionCase {
  int version;
  AAX_Result trace;
  AAX_Result stack;
  AAX_Result assertion;
};

TEST_F(HostServicesTest, OlderHostsAnswerFixedCodes) {
  const ServicesVersionCase cases[] = {{0, -20004, -20009, -20004}, {1, 0, -20009, -20004}, {2, 0, 0, -20004}, {3, 0, 0, 0}};
  for (const ServicesVersionCase& c : cases) {
    FakeHost older;
    older.HostServices().SetVersion(c.version);
    {
      AAX_VHostServices services(older.Unknown());
      EXPECT_EQ(services.Trace(1, "t"), c.trace) << "version " << c.version;
      EXPECT_EQ(services.StackTrace(1, 2, "s"), c.stack) << "version " << c.version;
      EXPECT_EQ(services.HandleAssertFailure("f", 1, "n", 1), c.assertion) << "version " << c.version;
    }
    EXPECT_TRUE(older.Balanced()) << testing::PrintToString(older.Unbalanced());
  }
}

TEST_F(HostServicesTest, NoFactoryNoServices) {
  host.Factory().SetVersion(0);
  AAX_VHostServices services(host.Unknown());
  EXPECT_EQ(services.Trace(1, "t"), -20004);
  EXPECT_EQ(host.Factory().CallCount("CreateComponent(host services)"), 0u);
}

TEST_F(HostServicesTest, TracesFromOtherThreadsSurviveShutDown) {
  AAX_CHostServices::Set(host.Unknown());
  std::atomic<bool> stop{false};
  std::vector<std::thread> tracers;
  for (int t = 0; t < 3; ++t) {
    tracers.emplace_back([&] {
      while (!stop.load()) AAX_CHostServices::Trace(AAX_eTracePriorityHost_Normal, "busy %d", 1);
    });
  }
  for (int round = 0; round < 20; ++round) {
    AAX_CHostServices::Set(nullptr);
    AAX_CHostServices::Set(host.Unknown());
  }
  AAX_CHostServices::Set(nullptr);
  stop = true;
  for (std::thread& t : tracers) t.join();
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

// ---- checked results ----

TEST_F(HostServicesTest, CheckedResultAcceptsZeroAndThrowsTheRest) {
  AAX_CHostServices::Set(host.Unknown());
  AAX_CheckedResult result;
  result = 0;
  EXPECT_EQ(static_cast<AAX_Result>(result), 0);
  EXPECT_TRUE(host.HostServices().Traces().empty());
  try {
    result = -20009;
    FAIL() << "no throw";
  } catch (const AAX::Exception::ResultError& error) {
    EXPECT_EQ(error.Result(), -20009);
    EXPECT_EQ(error.What(), "AAX_ERROR_UNIMPLEMENTED (-20009)");
  }
  EXPECT_EQ(static_cast<AAX_Result>(result), 0);
  EXPECT_EQ(result.LastError(), -20009);
  const auto traces = host.HostServices().Traces();
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_EQ(traces[0].priority, 0x04000000);
  EXPECT_EQ(traces[0].text, "AAX_CheckedResult - throwing AAX_ERROR_UNIMPLEMENTED (-20009)");
  result = 0;  // reusable after a throw
}

TEST_F(HostServicesTest, CheckedResultConstructedFromAFailureThrowsAtOnce) {
  EXPECT_THROW(AAX_CheckedResult(-20004), AAX::Exception::ResultError);  // no host: the trace is dropped
  try {
    AAX_CheckedResult failing(-20004);
  } catch (const AAX::Exception::ResultError& error) {
    EXPECT_EQ(error.Result(), -20004);
  }
  AAX_CheckedResult fine(0);
  fine.ResetAcceptedResults();
  fine.Initialize();
  EXPECT_THROW(fine = 1, AAX::Exception::ResultError);
}

}  // namespace
