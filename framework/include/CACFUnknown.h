// Counted, aggregatable base of every component object, with the process-wide count of
// live objects that decides whether the bundle may be unloaded.
#pragma once

#include "IACFUnknown.h"

class CACFUnknown {
public:
  // The object's own unknown: forwards to the containing object's internal operations.
  class PrivateUnknown : public IACFUnknown {
  public:
    ACFRESULT QueryInterface(const _acfUID& iid, void** out) noexcept override;
    acfUInt32 AddRef() noexcept override;
    acfUInt32 Release() noexcept override;
    virtual ~PrivateUnknown() = default;

    void SetParentUnknown(CACFUnknown* parent) noexcept { mParent = parent; }
    CACFUnknown* This() const noexcept { return mParent; }

  private:
    CACFUnknown* mParent = nullptr;
  };

  CACFUnknown() noexcept;
  explicit CACFUnknown(IACFUnknown* outer) noexcept;
  CACFUnknown(const CACFUnknown&) = delete;
  CACFUnknown& operator=(const CACFUnknown&) = delete;
  virtual ~CACFUnknown();

  // Not called by this plug-in; answers 0.
  virtual ACFRESULT InitializeInstance(IACFUnknown* outer) noexcept;
  // Runs when the count reaches 0, before the object is reclaimed.
  virtual void FinalRelease() noexcept;
  // Deletes the object through its virtual destructor.
  virtual void ReclaimMemory() noexcept;
  // Answers IID_IACFUnknown with the private unknown; anything else 0x80000004 with out null.
  virtual ACFRESULT InternalQueryInterface(const _acfUID& iid, void** out) noexcept;
  virtual acfUInt32 InternalAddRef() noexcept;
  virtual acfUInt32 InternalRelease() noexcept;

  // Delegate to the outer unknown (the private unknown unless aggregated).
  ACFRESULT ExternalQueryInterface(const _acfUID& iid, void** out) noexcept;
  acfUInt32 ExternalAddRef() noexcept;
  acfUInt32 ExternalRelease() noexcept;

  IACFUnknown* GetPrivateUnknown() noexcept { return &mPrivateUnknown; }

  // [any-thread]
  static acfUInt32 IncrementActiveObjects() noexcept;
  static acfUInt32 DecrementActiveObjects() noexcept;
  static acfUInt32 GetActiveObjectCount() noexcept;

protected:
  acfUInt32 GetRefCount() const noexcept;

private:
  acfUInt32 mRefCount = 0;
  IACFUnknown* mOuterUnknown = nullptr;
  PrivateUnknown mPrivateUnknown;

  static acfUInt32 m_ActiveObjects;
};
