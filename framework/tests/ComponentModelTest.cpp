#include "AAX_Errors.h"
#include "AAX_UIDs.h"
#include "ACFInterlocked.h"
#include "ACFPtr.h"
#include "StubComponents.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// A processor whose deletion and final release can be observed.
class WatchedProcessor : public StubHostProcessor {
public:
  explicit WatchedProcessor(int* destroyed, int* finalReleased = nullptr)
      : mDestroyed(destroyed), mFinalReleased(finalReleased) {}
  ~WatchedProcessor() override { ++*mDestroyed; }
  void FinalRelease() noexcept override {
    if (mFinalReleased) ++*mFinalReleased;
  }
  acfUInt32 Count() const { return GetRefCount(); }

private:
  int* mDestroyed;
  int* mFinalReleased;
};

class CountedParameters : public StubEffectParameters {
public:
  acfUInt32 Count() const { return GetRefCount(); }
};

TEST(AcfUID, EqualityComparesEveryField) {
  _acfUID a = IID_IAAXEffectParametersV1;
  EXPECT_TRUE(a == IID_IAAXEffectParametersV1);
  a.Data4[7] ^= 1;
  EXPECT_FALSE(a == IID_IAAXEffectParametersV1);
  EXPECT_TRUE(a != IID_IAAXEffectParametersV1);
  EXPECT_EQ(IID_IACFUnknown.Data4[0], 0xC0);
  EXPECT_EQ(IID_IACFUnknown.Data4[7], 0x46);
  EXPECT_EQ(IID_IAAXHostProcessorV2.Data1, 0x457546C0u);
  EXPECT_EQ(IID_IAAXHostProcessorV2.Data2, 0xF6BC);
  EXPECT_EQ(IID_IAAXHostProcessorV2.Data3, 0x4AF9);
}

TEST(ComponentModel, LiveObjectCountFollowsConstructionAndLastRelease) {
  const acfUInt32 before = CACFUnknown::GetActiveObjectCount();
  int destroyed = 0;
  int finalReleased = 0;
  auto* processor = new WatchedProcessor(&destroyed, &finalReleased);
  EXPECT_EQ(CACFUnknown::GetActiveObjectCount(), before + 1);
  EXPECT_EQ(processor->Count(), 0u);  // the host takes the first reference

  EXPECT_EQ(processor->AddRef(), 1u);
  EXPECT_EQ(processor->AddRef(), 2u);
  EXPECT_EQ(processor->AddRef(), 3u);
  EXPECT_EQ(processor->Release(), 2u);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(processor->Release(), 1u);
  EXPECT_EQ(processor->Release(), 0u);
  EXPECT_EQ(finalReleased, 1);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(CACFUnknown::GetActiveObjectCount(), before);
}

TEST(ComponentModel, EveryParametersVersionAnswersTheSamePointer) {
  auto* parameters = new CountedParameters;
  parameters->AddRef();
  const _acfUID versions[] = {IID_IAAXEffectParametersV1, IID_IAAXEffectParametersV2, IID_IAAXEffectParametersV3,
                              IID_IAAXEffectParametersV4};
  void* first = nullptr;
  acfUInt32 expected = 1;
  for (const _acfUID& iid : versions) {
    void* out = nullptr;
    ASSERT_EQ(parameters->QueryInterface(iid, &out), 0);
    EXPECT_EQ(parameters->Count(), ++expected);
    if (!first) first = out;
    EXPECT_EQ(out, first);
  }
  EXPECT_EQ(first, static_cast<void*>(static_cast<AAX_IACFEffectParameters*>(parameters)));
  for (acfUInt32 i = 0; i < expected; ++i) parameters->Release();
}

TEST(ComponentModel, UnknownIdentifierYieldsThePrivateUnknown) {
  int destroyed = 0;
  auto* processor = new WatchedProcessor(&destroyed);
  processor->AddRef();
  void* out = nullptr;
  ASSERT_EQ(processor->QueryInterface(IID_IACFUnknown, &out), 0);
  auto* unknown = static_cast<IACFUnknown*>(out);
  EXPECT_EQ(unknown, processor->GetPrivateUnknown());
  EXPECT_NE(out, static_cast<void*>(static_cast<AAX_IACFHostProcessor*>(processor)));
  EXPECT_EQ(processor->Count(), 2u);
  EXPECT_EQ(unknown->Release(), 1u);  // the same count, whatever pointer is used
  // Querying through the private unknown reaches the component's own answer.
  ASSERT_EQ(unknown->QueryInterface(IID_IAAXHostProcessorV1, &out), 0);
  EXPECT_EQ(out, static_cast<void*>(static_cast<AAX_IACFHostProcessor*>(processor)));
  EXPECT_EQ(unknown->Release(), 1u);
  processor->Release();
  EXPECT_EQ(destroyed, 1);
}

TEST(ComponentModel, RefusedIdentifierLeavesOutNullAndCountUnchanged) {
  int destroyed = 0;
  auto* processor = new WatchedProcessor(&destroyed);
  processor->AddRef();
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(processor->QueryInterface(IID_IAAXEffectParametersV1, &out), ACF_E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(processor->Count(), 1u);
  EXPECT_EQ(processor->QueryInterface(IID_IAAXHostProcessorV1, nullptr), ACF_E_INVALIDARG);
  EXPECT_EQ(processor->Count(), 1u);
  processor->Release();

  auto* gui = new StubEffectGUI;
  gui->AddRef();
  EXPECT_EQ(gui->QueryInterface(IID_IAAXEffectGUIV2, &out), 0);
  EXPECT_EQ(out, static_cast<void*>(static_cast<AAX_IACFEffectGUI*>(gui)));
  gui->Release();
  EXPECT_EQ(gui->QueryInterface(IID_IAAXHostProcessorV2, &out), ACF_E_NOINTERFACE);
  gui->Release();
}

TEST(ComponentModel, HostFindsTheRootOperationsAtSlotsZeroToTwo) {
  auto* parameters = new CountedParameters;
  IACFUnknown* asHost = static_cast<AAX_IACFEffectParameters*>(parameters);
  auto* const* table = *reinterpret_cast<void* const* const*>(asHost);
  using AddRefFn = acfUInt32 (*)(IACFUnknown*);
  using QueryFn = ACFRESULT (*)(IACFUnknown*, const _acfUID&, void**);
  EXPECT_EQ(reinterpret_cast<AddRefFn>(table[1])(asHost), 1u);
  void* out = nullptr;
  EXPECT_EQ(reinterpret_cast<QueryFn>(table[0])(asHost, IID_IAAXEffectParametersV2, &out), 0);
  EXPECT_EQ(reinterpret_cast<AddRefFn>(table[2])(asHost), 1u);
  EXPECT_EQ(reinterpret_cast<AddRefFn>(table[2])(asHost), 0u);
}

TEST(ComponentModel, CountsFromManyThreadsStayExact) {
  int destroyed = 0;
  auto* processor = new WatchedProcessor(&destroyed);
  processor->AddRef();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([processor] {
      for (int i = 0; i < 10000; ++i) {
        processor->AddRef();
        processor->Release();
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(processor->Count(), 1u);
  processor->Release();
  EXPECT_EQ(destroyed, 1);
}

TEST(Interlocked, AnswersTheNewValueAndWraps) {
  acfUInt32 counter = 0;
  EXPECT_EQ(ACFInterlockedIncrement(&counter), 1u);
  EXPECT_EQ(ACFInterlockedDecrement(&counter), 0u);
  EXPECT_EQ(ACFInterlockedDecrement(&counter), 0xFFFFFFFFu);
}

// ---- ACFPtr ----

TEST(AcfPtr, HoldsOneReference) {
  int destroyed = 0;
  auto* processor = new WatchedProcessor(&destroyed);
  IACFUnknown* unknown = static_cast<AAX_IACFHostProcessor*>(processor);
  {
    ACFPtr<IACFUnknown> held(unknown);
    EXPECT_EQ(processor->Count(), 1u);
    ACFPtr<IACFUnknown> copy(held);
    EXPECT_EQ(processor->Count(), 2u);
    copy = unknown;  // its own pointer: no change
    EXPECT_EQ(processor->Count(), 2u);
    ACFPtr<IACFUnknown>& alias = copy;
    copy = alias;  // self-assignment must not change the count
    EXPECT_EQ(processor->Count(), 2u);
    ACFPtr<IACFUnknown> other;
    other = held;
    EXPECT_EQ(processor->Count(), 3u);
    other.acquire();
    EXPECT_EQ(processor->Count(), 4u);
    unknown->Release();
    other.clear();
    EXPECT_TRUE(other.isNull());
    EXPECT_TRUE(!other);
    EXPECT_EQ(processor->Count(), 2u);
    EXPECT_EQ(held.inArg(), unknown);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(AcfPtr, AddressOfClearsForAnOutArgument) {
  int destroyed = 0;
  auto* processor = new WatchedProcessor(&destroyed);
  ACFPtr<IACFUnknown> held(static_cast<AAX_IACFHostProcessor*>(processor));
  ACFPtr<IACFUnknown> second(static_cast<AAX_IACFHostProcessor*>(processor));
  EXPECT_EQ(processor->Count(), 2u);
  IACFUnknown** slot = &held;
  EXPECT_EQ(*slot, nullptr);
  EXPECT_EQ(processor->Count(), 1u);
  ASSERT_EQ(second->QueryInterface(IID_IAAXHostProcessorV1, reinterpret_cast<void**>(slot)), 0);
  EXPECT_EQ(processor->Count(), 2u);
}

TEST(AcfPtr, QueryConstructor) {
  int destroyed = 0;
  auto* processor = new WatchedProcessor(&destroyed);
  ACFPtr<IACFUnknown> owner(static_cast<AAX_IACFHostProcessor*>(processor));
  {
    ACFPtr<AAX_IACFHostProcessor> typed(IID_IAAXHostProcessorV2, owner);
    EXPECT_EQ(processor->Count(), 2u);
    EXPECT_EQ(typed.inArg(), static_cast<AAX_IACFHostProcessor*>(processor));
  }
  EXPECT_EQ(processor->Count(), 1u);
}

TEST(AcfPtr, ThrownValues) {
  int destroyed = 0;
  auto* processor = new WatchedProcessor(&destroyed);
  ACFPtr<IACFUnknown> owner(static_cast<AAX_IACFHostProcessor*>(processor));

  auto thrown = [](auto&& action) -> ACFRESULT {
    try {
      action();
    } catch (ACFRESULT value) {
      return value;
    }
    return 0;
  };
  EXPECT_EQ(thrown([] { ACFPtr<IACFUnknown> p(IID_IACFUnknown, nullptr); }), static_cast<ACFRESULT>(0x80000003u));
  EXPECT_EQ(thrown([&] { ACFPtr<AAX_IACFEffectParameters> p(IID_IAAXEffectParametersV1, owner); }),
            static_cast<ACFRESULT>(0x80000004u));
  EXPECT_EQ(processor->Count(), 1u);
  EXPECT_EQ(thrown([] {
              ACFPtr<IACFUnknown> empty;
              empty->AddRef();
            }),
            static_cast<ACFRESULT>(0x80000005u));
  EXPECT_EQ(thrown([] {
              ACFPtr<IACFUnknown> empty;
              empty.detach();
            }),
            static_cast<ACFRESULT>(0x80000005u));

  IACFUnknown* detached = owner.detach();
  EXPECT_TRUE(owner.isNull());
  EXPECT_EQ(processor->Count(), 1u);
  detached->Release();
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
