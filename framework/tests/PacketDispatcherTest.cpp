#include "AAX_CEffectParameters.h"
#include "AAX_CPacketDispatcher.h"
#include "AAX_CParameter.h"
#include "AAX_VController.h"
#include "HostCapture.h"
#include "ParameterFixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <string>
#include <vector>

namespace {

// Writes a fixed value into the packet and records which parameter asked.
class IntHandler : public AAX_IPacketHandler {
public:
  IntHandler(int32_t value, std::vector<std::string>* log, AAX_Result answer = 0)
      : mValue(value), mLog(log), mAnswer(answer) {}
  IntHandler* Clone() const override { return new IntHandler(*this); }
  AAX_Result CallHandler(AAX_CParamID id, AAX_CPacket& packet) const override {
    mLog->push_back(id);
    *packet.GetPtr<int32_t>() = mValue;
    return mAnswer;
  }

private:
  int32_t mValue;
  std::vector<std::string>* mLog;
  AAX_Result mAnswer;
};

struct DispatcherOnFakeHost : ::testing::Test {
  HostCapture capture;
  AAX_VController controller{capture.Unknown()};
  AAX_CPacketDispatcher dispatcher;
  std::vector<std::string> handled;

  void SetUp() override { dispatcher.Initialize(&controller, nullptr); }
  std::vector<qm::host::FakeController::Packet> Posted() { return capture.Host().Controller().Packets(); }
};

}  // namespace

TEST(Packet, SizeFollowsTheRequestedType) {
  AAX_CPacket packet(3);
  EXPECT_TRUE(packet.IsDirty());
  EXPECT_EQ(packet.GetSize(), 0u);
  *packet.GetPtr<double>() = 1.5;
  EXPECT_EQ(packet.GetSize(), 8u);
  double d;
  std::memcpy(&d, packet.GetPtr<const void>(), 8);
  EXPECT_EQ(d, 1.5);
  *packet.GetPtr<float>() = 2.0f;
  EXPECT_EQ(packet.GetSize(), 4u);
  EXPECT_EQ(packet.GetID(), 3);
}

TEST_F(DispatcherOnFakeHost, WithoutRegistrationsNothingIsCalled) {
  EXPECT_EQ(dispatcher.SetDirty("any"), 0);
  EXPECT_EQ(dispatcher.Dispatch(), 0);
  EXPECT_TRUE(Posted().empty());
}

TEST_F(DispatcherOnFakeHost, SharedPacketIsPostedOncePerDispatch) {
  IntHandler handler(7, &handled);
  ASSERT_EQ(dispatcher.RegisterPacket("b", 1, &handler), 0);
  ASSERT_EQ(dispatcher.RegisterPacket("a", 1, &handler), 0);
  ASSERT_EQ(dispatcher.RegisterPacket("c", -1, &handler), 0);  // carries no packet
  EXPECT_EQ(dispatcher.RegisterPacket(nullptr, 2, &handler), AAX_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(dispatcher.RegisterPacket("d", 2, nullptr), AAX_ERROR_NULL_ARGUMENT);

  EXPECT_EQ(dispatcher.Dispatch(), 0);  // new packets start dirty
  EXPECT_EQ(handled, std::vector<std::string>{"a"});  // identifier order; "b" then finds it clean
  ASSERT_EQ(Posted().size(), 1u);
  EXPECT_EQ(Posted()[0].field, 1);
  EXPECT_EQ(Posted()[0].data, (std::vector<uint8_t>{7, 0, 0, 0}));

  EXPECT_EQ(dispatcher.Dispatch(), 0);
  EXPECT_EQ(Posted().size(), 1u);

  dispatcher.SetDirty("b");
  dispatcher.SetDirty("c");
  EXPECT_EQ(dispatcher.Dispatch(), 0);
  EXPECT_EQ(handled, (std::vector<std::string>{"a", "a"}));
  EXPECT_EQ(Posted().size(), 2u);
}

TEST_F(DispatcherOnFakeHost, RefusingHandlerLeavesThePacketCleanAndUnposted) {
  IntHandler refusing(1, &handled, -1);
  dispatcher.RegisterPacket("p", 4, &refusing);
  EXPECT_EQ(dispatcher.Dispatch(), 0);
  EXPECT_EQ(dispatcher.Dispatch(), 0);
  EXPECT_TRUE(Posted().empty());
  EXPECT_EQ(handled.size(), 1u);
}

TEST_F(DispatcherOnFakeHost, ReportsTheFirstFailedPostNotTheLast) {
  capture.Host().Controller().FailOperation("PostPacket", AAX_ERROR_POST_PACKET_FAILED, 1);
  IntHandler handler(1, &handled);
  dispatcher.RegisterPacket("a", 1, &handler);
  dispatcher.RegisterPacket("b", 2, &handler);
  EXPECT_EQ(dispatcher.Dispatch(), AAX_ERROR_POST_PACKET_FAILED);
  EXPECT_EQ(Posted().size(), 1u);  // the second post went through

  AAX_CPacketDispatcher withoutController;
  withoutController.RegisterPacket("a", 1, &handler);
  EXPECT_EQ(withoutController.Dispatch(), AAX_ERROR_NULL_OBJECT);
}

// Marking from one host thread while another dispatches: the lock keeps them apart, and every
// post answers a mark (at most one post per mark, plus the packet's initial dirty state).
TEST_F(DispatcherOnFakeHost, MarkingAndDispatchingFromTwoThreads) {
  struct CountingHandler : AAX_IPacketHandler {
    std::atomic<int>* calls;
    explicit CountingHandler(std::atomic<int>* c) : calls(c) {}
    CountingHandler* Clone() const override { return new CountingHandler(calls); }
    AAX_Result CallHandler(AAX_CParamID, AAX_CPacket& packet) const override {
      *packet.GetPtr<float>() = float(++*calls);
      return 0;
    }
  };
  std::atomic<int> calls{0};
  CountingHandler handler(&calls);
  dispatcher.RegisterPacket("a", 1, &handler);
  constexpr int kRounds = 2000;
  std::thread marker([&] {
    for (int i = 0; i < kRounds; ++i) dispatcher.SetDirty("a");
  });
  for (int i = 0; i < kRounds; ++i) EXPECT_EQ(dispatcher.Dispatch(), 0);
  marker.join();
  dispatcher.Dispatch();
  EXPECT_GE(calls.load(), 1);
  EXPECT_LE(calls.load(), kRounds + 1);
  EXPECT_EQ(Posted().size(), size_t(calls.load()));
}

TEST(PacketDispatcher, SingleValuePacketTakesTheParameterValue) {
  struct Parameters : AAX_CEffectParameters {
    AAX_Result EffectInit() override {
      mParameterManager.AddParameter(NewBoolParameter("flag", "Flag", true));
      return 0;
    }
  };
  HostCapture capture;
  Parameters parameters;
  ASSERT_EQ(parameters.Initialize(capture.Unknown()), 0);
  AAX_CPacketDispatcher dispatcher;
  dispatcher.Initialize(nullptr, &parameters);
  AAX_CPacket packet(0);
  ASSERT_EQ(dispatcher.GenerateSingleValuePacket("flag", packet), 0);
  ASSERT_EQ(packet.GetSize(), 4u);
  int32_t value;
  std::memcpy(&value, packet.GetPtr<const void>(), 4);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(dispatcher.GenerateSingleValuePacket("missing", packet), AAX_ERROR_NULL_OBJECT);
  parameters.Uninitialize();
}
