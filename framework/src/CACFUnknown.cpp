#include "CACFUnknown.h"

#include "AAX_Errors.h"
#include "AAX_UIDs.h"
#include "ACFInterlocked.h"

#include <atomic>

acfUInt32 CACFUnknown::m_ActiveObjects = 0;

// [any-thread]
ACFRESULT CACFUnknown::PrivateUnknown::QueryInterface(const _acfUID& iid, void** out) noexcept {
  return mParent->InternalQueryInterface(iid, out);
}

// [any-thread]
acfUInt32 CACFUnknown::PrivateUnknown::AddRef() noexcept { return mParent->InternalAddRef(); }

// [any-thread]
acfUInt32 CACFUnknown::PrivateUnknown::Release() noexcept { return mParent->InternalRelease(); }

CACFUnknown::CACFUnknown() noexcept : CACFUnknown(nullptr) {}

CACFUnknown::CACFUnknown(IACFUnknown* outer) noexcept {
  mPrivateUnknown.SetParentUnknown(this);
  mOuterUnknown = outer ? outer : &mPrivateUnknown;
  IncrementActiveObjects();
}

CACFUnknown::~CACFUnknown() { DecrementActiveObjects(); }

ACFRESULT CACFUnknown::InitializeInstance(IACFUnknown*) noexcept { return 0; }

void CACFUnknown::FinalRelease() noexcept {}

void CACFUnknown::ReclaimMemory() noexcept { delete this; }

ACFRESULT CACFUnknown::InternalQueryInterface(const _acfUID& iid, void** out) noexcept {
  if (!out) return ACF_E_INVALIDARG;
  *out = nullptr;
  if (iid == IID_IACFUnknown) {
    *out = &mPrivateUnknown;
    mPrivateUnknown.AddRef();
    return 0;
  }
  return ACF_E_NOINTERFACE;
}

acfUInt32 CACFUnknown::InternalAddRef() noexcept { return ACFInterlockedIncrement(&mRefCount); }

acfUInt32 CACFUnknown::InternalRelease() noexcept {
  const acfUInt32 count = ACFInterlockedDecrement(&mRefCount);
  if (count != 0) return count;
  FinalRelease();
  ReclaimMemory();
  return 0;
}

ACFRESULT CACFUnknown::ExternalQueryInterface(const _acfUID& iid, void** out) noexcept {
  return mOuterUnknown->QueryInterface(iid, out);
}

acfUInt32 CACFUnknown::ExternalAddRef() noexcept { return mOuterUnknown->AddRef(); }

acfUInt32 CACFUnknown::ExternalRelease() noexcept { return mOuterUnknown->Release(); }

acfUInt32 CACFUnknown::IncrementActiveObjects() noexcept { return ACFInterlockedIncrement(&m_ActiveObjects); }

acfUInt32 CACFUnknown::DecrementActiveObjects() noexcept { return ACFInterlockedDecrement(&m_ActiveObjects); }

acfUInt32 CACFUnknown::GetActiveObjectCount() noexcept {
  return std::atomic_ref<acfUInt32>(m_ActiveObjects).load(std::memory_order_seq_cst);
}

acfUInt32 CACFUnknown::GetRefCount() const noexcept {
  return std::atomic_ref<acfUInt32>(const_cast<acfUInt32&>(mRefCount)).load(std::memory_order_seq_cst);
}
