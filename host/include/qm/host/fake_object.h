// Bookkeeping shared by every fake host object: the interfaces it answers (by version, so
// a test can act as an older host), reference counting with a balance check, a call log
// and injected failures. Fake objects are owned by the test or the FakeHost, never
// deleted by Release, so a plug-in that over-releases is reported instead of crashing.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace qm::host {

class FakeObject {
public:
  explicit FakeObject(std::string name);
  virtual ~FakeObject();
  FakeObject(const FakeObject&) = delete;
  FakeObject& operator=(const FakeObject&) = delete;

  const std::string& Name() const { return mName; }

  // References taken through AddRef or a query and not yet released.
  int32_t References() const { return mReferences.load(); }
  // Release calls that found no reference left.
  int32_t OverReleases() const { return mOverReleases.load(); }
  // Whether a leftover reference is a fault (false for objects the plug-in keeps by design).
  void SetBalanceChecked(bool checked) { mBalanceChecked = checked; }
  bool BalanceChecked() const { return mBalanceChecked; }

  // Newest version answered in an interface group (group 0 is the object's main interface);
  // 0 answers none of the group.
  void SetVersion(int version, int group = 0);
  int Version(int group = 0) const;

  // The next `times` calls of `operation` answer `code` (-1: every call from now on).
  // "QueryInterface" fails queries the same way.
  void FailOperation(const std::string& operation, AAX_Result code, int times = -1);
  void ClearFailures();

  std::vector<std::string> Calls() const;
  size_t CallCount(const std::string& operation) const;

  // Answers a query for one of the offered interfaces (counted), as QueryInterface does.
  ACFRESULT Query(const _acfUID& iid, void** out);

protected:
  // Answers `iid` with `pointer` while the group's version is at least `version`.
  void Offer(const _acfUID& iid, IACFUnknown* pointer, int version = 1, int group = 0);
  // Answers the interface's successive versions, iids[0] as version 1 onward, with `pointer`.
  void OfferVersions(IACFUnknown* pointer, std::initializer_list<_acfUID> iids, int group = 0);
  acfUInt32 Ref();
  acfUInt32 Unref();
  // Logs the call; answers true (with the code in `injected`) when a failure is injected.
  bool Record(const std::string& operation, AAX_Result* injected = nullptr);

private:
  struct Offered {
    _acfUID iid;
    IACFUnknown* pointer;
    int version;
    int group;
  };
  struct Failure {
    AAX_Result code;
    int remaining;
  };

  std::string mName;
  std::atomic<int32_t> mReferences{0};
  std::atomic<int32_t> mOverReleases{0};
  bool mBalanceChecked = true;
  mutable std::mutex mMutex;
  std::vector<Offered> mOffered;
  std::map<int, int> mVersions;
  std::map<std::string, Failure> mFailures;
  std::vector<std::string> mCalls;
};

}  // namespace qm::host

// The three root operations of a fake, routed to its FakeObject part.
#define QM_FAKE_UNKNOWN                                                                          \
  ACFRESULT QueryInterface(const _acfUID& iid, void** out) noexcept override { return Query(iid, out); } \
  acfUInt32 AddRef() noexcept override { return Ref(); }                                         \
  acfUInt32 Release() noexcept override { return Unref(); }
