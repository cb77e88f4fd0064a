// Counting holder of one host interface pointer. Misuse is reported by throwing a bare
// 32-bit integer (ACFRESULT): 0x80000003 for a null source, 0x80000005 for a null
// dereference, or the negative answer of a failed query.
#pragma once

#include "AAX_Errors.h"
#include "IACFUnknown.h"

#include <type_traits>

template <class T>
class ACFPtr {
public:
  ACFPtr() noexcept = default;

  ACFPtr(T* pointer) noexcept : mPtr(pointer) {  // NOLINT: implicit like a raw pointer
    if (mPtr) mPtr->AddRef();
  }

  template <class U = T, class = std::enable_if_t<!std::is_same_v<U, IACFUnknown>>>
  explicit ACFPtr(IACFUnknown* pointer) noexcept : mPtr(static_cast<T*>(pointer)) {
    if (mPtr) mPtr->AddRef();
  }

  // Queries `iid` on `source`; throws as described above.
  ACFPtr(const _acfUID& iid, IACFUnknown* source) {
    if (!source) throw static_cast<ACFRESULT>(ACF_E_INVALIDARG);
    void* held = nullptr;
    const ACFRESULT answer = source->QueryInterface(iid, &held);
    if (answer < 0) throw answer;
    mPtr = static_cast<T*>(held);
  }

  ACFPtr(const ACFPtr& other) noexcept : mPtr(other.mPtr) {
    if (mPtr) mPtr->AddRef();
  }

  ~ACFPtr() { clear(); }

  void clear() noexcept {
    if (mPtr) {
      T* old = mPtr;
      mPtr = nullptr;
      old->Release();
    }
  }

  void acquire() noexcept {
    if (mPtr) mPtr->AddRef();
  }

  // For an out argument that receives a counted pointer.
  T** operator&() noexcept {
    clear();
    return &mPtr;
  }

  T* operator->() {
    if (!mPtr) throw static_cast<ACFRESULT>(ACF_E_POINTER);
    return mPtr;
  }
  T* operator->() const {
    if (!mPtr) throw static_cast<ACFRESULT>(ACF_E_POINTER);
    return mPtr;
  }

  // Hands the pointer over with its reference.
  T* detach() {
    if (!mPtr) throw static_cast<ACFRESULT>(ACF_E_POINTER);
    T* out = mPtr;
    mPtr = nullptr;
    return out;
  }

  operator T*() const noexcept { return mPtr; }
  T* inArg() const noexcept { return mPtr; }
  bool isNull() const noexcept { return mPtr == nullptr; }
  bool operator!() const noexcept { return mPtr == nullptr; }

  ACFPtr& operator=(T* pointer) noexcept {
    if (pointer == mPtr) return *this;
    if (pointer) pointer->AddRef();
    T* old = mPtr;
    mPtr = pointer;
    if (old) old->Release();
    return *this;
  }

  ACFPtr& operator=(const ACFPtr& other) noexcept {
    if (this == &other) return *this;
    clear();
    mPtr = other.mPtr;
    if (mPtr) mPtr->AddRef();
    return *this;
  }

private:
  T* mPtr = nullptr;
};
