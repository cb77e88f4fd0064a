#include "qm/host/fake_object.h"

#include "AAX_Errors.h"

namespace qm::host {

FakeObject::FakeObject(std::string name) : mName(std::move(name)) {}

FakeObject::~FakeObject() = default;

void FakeObject::SetVersion(int version, int group) {
  std::lock_guard<std::mutex> guard(mMutex);
  mVersions[group] = version;
}

int FakeObject::Version(int group) const {
  std::lock_guard<std::mutex> guard(mMutex);
  const auto found = mVersions.find(group);
  return found == mVersions.end() ? 0 : found->second;
}

void FakeObject::FailOperation(const std::string& operation, AAX_Result code, int times) {
  std::lock_guard<std::mutex> guard(mMutex);
  mFailures[operation] = Failure{code, times};
}

void FakeObject::ClearFailures() {
  std::lock_guard<std::mutex> guard(mMutex);
  mFailures.clear();
}

std::vector<std::string> FakeObject::Calls() const {
  std::lock_guard<std::mutex> guard(mMutex);
  return mCalls;
}

size_t FakeObject::CallCount(const std::string& operation) const {
  std::lock_guard<std::mutex> guard(mMutex);
  size_t count = 0;
  for (const std::string& call : mCalls) count += call == operation ? 1 : 0;
  return count;
}

void FakeObject::Offer(const _acfUID& iid, IACFUnknown* pointer, int version, int group) {
  std::lock_guard<std::mutex> guard(mMutex);
  mOffered.push_back(Offered{iid, pointer, version, group});
  int& newest = mVersions[group];
  if (version > newest) newest = version;
}

void FakeObject::OfferVersions(IACFUnknown* pointer, std::initializer_list<_acfUID> iids, int group) {
  int version = 0;
  for (const _acfUID& iid : iids) Offer(iid, pointer, ++version, group);
}

ACFRESULT FakeObject::Query(const _acfUID& iid, void** out) {
  if (!out) return ACF_E_INVALIDARG;
  *out = nullptr;
  AAX_Result injected = 0;
  if (Record("QueryInterface", &injected)) return injected;
  IACFUnknown* answer = nullptr;
  {
    std::lock_guard<std::mutex> guard(mMutex);
    for (const Offered& offered : mOffered) {
      if (offered.iid != iid) continue;
      const auto found = mVersions.find(offered.group);
      if (found != mVersions.end() && offered.version <= found->second) answer = offered.pointer;
      break;
    }
  }
  if (!answer) return ACF_E_NOINTERFACE;
  Ref();
  *out = answer;
  return 0;
}

acfUInt32 FakeObject::Ref() { return static_cast<acfUInt32>(++mReferences); }

acfUInt32 FakeObject::Unref() {
  int32_t current = mReferences.load();
  while (current > 0) {
    if (mReferences.compare_exchange_weak(current, current - 1)) return static_cast<acfUInt32>(current - 1);
  }
  ++mOverReleases;
  return 0;
}

bool FakeObject::Record(const std::string& operation, AAX_Result* injected) {
  std::lock_guard<std::mutex> guard(mMutex);
  if (operation != "QueryInterface") mCalls.push_back(operation);
  const auto found = mFailures.find(operation);
  if (found == mFailures.end() || found->second.remaining == 0) return false;
  if (found->second.remaining > 0) --found->second.remaining;
  if (injected) *injected = found->second.code;
  return true;
}

}  // namespace qm::host
