#include "AAX_CEffectParameters.h"

#include "AAX_CHostServices.h"
#include "AAX_IParameter.h"
#include "AAX_UIDs.h"
#include "AAX_VAutomationDelegate.h"
#include "AAX_VController.h"
#include "AAX_VPageTable.h"
#include "AAX_VTransport.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Host-facing operations end here: whatever a derived hook or an allocation throws becomes a
// result code instead of crossing into the host.
template <class F>
AAX_Result Guarded(F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

// Runs `use` on the parameter `id` names, guarded; an unknown id is AAX_ERROR_INVALID_PARAMETER_ID.
template <typename Use>
AAX_Result WithParameter(AAX_CParameterManager& manager, AAX_CParamID id, Use&& use) noexcept {
  return Guarded([&]() -> AAX_Result {
    AAX_IParameter* parameter = manager.GetParameterByID(id);
    return parameter ? use(*parameter) : AAX_ERROR_INVALID_PARAMETER_ID;
  });
}

// Whether the host's object answers either page-table version (as the wrapper sees it).
bool HoldsPageTable(IACFUnknown* pageTable) {
  if (!pageTable) return false;
  for (const _acfUID* iid : {&IID_IAAXPageTableV1, &IID_IAAXPageTableV2}) {
    void* answered = nullptr;
    if (pageTable->QueryInterface(*iid, &answered) == 0 && answered) {
      static_cast<IACFUnknown*>(answered)->Release();
      return true;
    }
  }
  return false;
}

}  // namespace

AAX_CEffectParameters::AAX_CEffectParameters() = default;

AAX_CEffectParameters::~AAX_CEffectParameters() {
  // A host that skipped Uninitialize still gets its wrappers back; the parameters go first
  // because they unregister through the automation wrapper.
  ReleaseHostWrappers();
}

void AAX_CEffectParameters::ReleaseHostWrappers() noexcept {
  mParameterManager.RemoveAllParameters();
  mParameterManager.Initialize(nullptr);
  mPacketDispatcher.Initialize(nullptr, this);
  delete mController;
  mController = nullptr;
  delete mAutomationDelegate;
  mAutomationDelegate = nullptr;
  delete mTransport;
  mTransport = nullptr;
}

AAX_Result AAX_CEffectParameters::Initialize(IACFUnknown* host) noexcept {
  return Guarded([&]() -> AAX_Result {
    if (mController || mAutomationDelegate || mTransport) ReleaseHostWrappers();  // a repeated Initialize
    mController = new AAX_VController(host);
    mAutomationDelegate = new AAX_VAutomationDelegate(host);
    mTransport = new AAX_VTransport(host);
    mParameterManager.Initialize(mAutomationDelegate);
    mPacketDispatcher.Initialize(mController, this);

    const AAX_Result result = EffectInit();
    if (result != AAX_SUCCESS) return result;

    AAX_CString bypassID;
    GetMasterBypassParameter(&bypassID);
    FilterParameterIDOnSave(bypassID.Get());

    int32_t count = 0;
    if (GetNumberOfParameters(&count) != AAX_SUCCESS) {
      AAX_CHostServices::Trace(AAX_eTracePriorityHost_Critical,
                               "AAX_CEffectParameters::Initialize - error getting the number of parameters");
    } else if (count > 0) {
      mNumChunkedParameters = count - static_cast<int32_t>(mFilteredParameters.size());
      AAX_ASSERT(mNumChunkedParameters >= 0);
    }
    return result;
  });
}

AAX_Result AAX_CEffectParameters::Uninitialize() noexcept {
  ReleaseHostWrappers();
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::NotificationReceived(AAX_CTypeID type, const void* data, uint32_t size) noexcept {
  Guarded([&]() -> AAX_Result {
    if (type != cPreviewNotificationType || !data || size < sizeof(uint32_t)) return AAX_SUCCESS;
    if (AAX_IParameter* preview = mParameterManager.GetParameterByID(cPreviewParameterID)) {
      uint32_t word;
      std::memcpy(&word, data, sizeof word);
      preview->SetValueWithBool(word != 0);
    }
    return AAX_SUCCESS;
  });
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetNumberOfParameters(int32_t* count) noexcept {
  if (!count) return AAX_ERROR_NULL_ARGUMENT;
  *count = mParameterManager.NumParameters();
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetMasterBypassParameter(AAX_IString* id) noexcept {
  if (!id) return AAX_ERROR_NULL_ARGUMENT;
  return Guarded([&]() -> AAX_Result {
    id->Set(mParameterManager.GetParameterByID(cDefaultMasterBypassID) ? cDefaultMasterBypassID : "");
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetParameterIsAutomatable(AAX_CParamID id, uint8_t* automatable) noexcept {
  if (!automatable) return AAX_ERROR_NULL_ARGUMENT;
  *automatable = 0;
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    *automatable = parameter.Automatable() ? 1 : 0;
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetParameterNumberOfSteps(AAX_CParamID id, int32_t* steps) noexcept {
  if (!steps) return AAX_ERROR_NULL_ARGUMENT;
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    const uint32_t n = parameter.GetNumberOfSteps();
    if (n > 0x7FFFFFFFu) return AAX_ERROR_SIGNED_INT_OVERFLOW;
    *steps = static_cast<int32_t>(n);
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetParameterName(AAX_CParamID id, AAX_IString* name) noexcept {
  if (!name) return AAX_ERROR_NULL_ARGUMENT;
  return Guarded([&]() -> AAX_Result {
    const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
    name->Set(parameter ? parameter->Name().Get() : "");
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetParameterNameOfLength(AAX_CParamID id, AAX_IString* name, int32_t length) noexcept {
  if (!name) return AAX_ERROR_INVALID_STRING_CONVERSION;
  return Guarded([&]() -> AAX_Result {
    const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
    if (!parameter) {
      name->Set("");
      return AAX_SUCCESS;
    }
    // Variations of one shortened name are separated by newlines; the longest that fits wins.
    const std::string& shortened = parameter->ShortenedName(length).StdString();
    const std::string text = shortened.substr(0, std::min<size_t>(shortened.size(), 255));
    std::vector<std::string> variants;
    size_t start = 0;
    for (;;) {
      const size_t newline = text.find('\n', start);
      variants.push_back(text.substr(start, newline == std::string::npos ? std::string::npos : newline - start));
      if (newline == std::string::npos) break;
      start = newline + 1;
    }
    size_t best = 0;
    for (const std::string& v : variants) {
      if (v.size() > best && static_cast<int64_t>(v.size()) <= length) {
        name->Set(v.c_str());
        best = v.size();
      }
    }
    if (best == 0 && !text.empty()) {
      name->Set(length > 0 ? text.substr(0, size_t(length)).c_str() : "");
    }
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetParameterDefaultNormalizedValue(AAX_CParamID id, double* value) noexcept {
  if (!value) return AAX_ERROR_NULL_ARGUMENT;
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    *value = parameter.GetNormalizedDefaultValue();
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::SetParameterDefaultNormalizedValue(AAX_CParamID id, double value) noexcept {
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    parameter.SetNormalizedDefaultValue(value);
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetParameterType(AAX_CParamID id, AAX_EParameterType* type) noexcept {
  if (!type) return AAX_ERROR_NULL_ARGUMENT;
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    *type = parameter.GetType();
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetParameterOrientation(AAX_CParamID id, int32_t* orientation) noexcept {
  if (!orientation) return AAX_ERROR_NULL_ARGUMENT;
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    *orientation = parameter.GetOrientation();
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetParameter(AAX_CParamID id, AAX_IParameter** parameter) noexcept {
  if (!parameter) return AAX_ERROR_NULL_ARGUMENT;
  *parameter = mParameterManager.GetParameterByID(id);
  return *parameter ? AAX_SUCCESS : AAX_ERROR_INVALID_PARAMETER_ID;
}

AAX_Result AAX_CEffectParameters::GetParameterIndex(AAX_CParamID id, int32_t* index) noexcept {
  if (!index) return AAX_ERROR_NULL_ARGUMENT;
  *index = mParameterManager.GetParameterIndex(id);
  return *index < 0 ? AAX_ERROR_INVALID_PARAMETER_ID : AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetParameterIDFromIndex(int32_t index, AAX_IString* id) noexcept {
  if (!id) return AAX_ERROR_NULL_ARGUMENT;
  return Guarded([&]() -> AAX_Result {
    const AAX_IParameter* parameter = mParameterManager.GetParameter(index);
    id->Set(parameter ? parameter->Identifier() : "");
    return parameter ? AAX_SUCCESS : AAX_ERROR_INVALID_PARAMETER_ID;
  });
}

AAX_Result AAX_CEffectParameters::GetParameterValueInfo(AAX_CParamID, int32_t, int32_t* value) noexcept {
  if (value) *value = 0;
  return AAX_ERROR_UNIMPLEMENTED;
}

AAX_Result AAX_CEffectParameters::GetParameterValueFromString(AAX_CParamID id, double* value,
                                                              const AAX_IString& text) noexcept {
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    if (!parameter.GetNormalizedValueFromString(AAX_CString(text.Get()), value))
      return AAX_ERROR_INVALID_STRING_CONVERSION;
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetParameterStringFromValue(AAX_CParamID id, double value, AAX_IString* text,
                                                              int32_t maxLength) noexcept {
  if (!text) return AAX_ERROR_NULL_ARGUMENT;
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    AAX_CString result;
    if (!parameter.GetStringFromNormalizedValue(value, maxLength, result)) return AAX_ERROR_INVALID_STRING_CONVERSION;
    text->Set(result.Get());
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetParameterValueString(AAX_CParamID id, AAX_IString* text, int32_t maxLength) noexcept {
  if (!text) return AAX_ERROR_NULL_ARGUMENT;
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    AAX_CString result;
    if (parameter.GetValueString(maxLength, &result)) text->Set(result.Get());
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetParameterNormalizedValue(AAX_CParamID id, double* value) noexcept {
  if (!value) return AAX_ERROR_NULL_ARGUMENT;
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    *value = parameter.GetNormalizedValue();
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::SetParameterNormalizedValue(AAX_CParamID id, double value) noexcept {
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    parameter.SetNormalizedValue(value);
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::SetParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept {
  double value = 0.0;
  const AAX_Result result = GetParameterNormalizedValue(id, &value);
  if (result != AAX_SUCCESS) return result;
  return SetParameterNormalizedValue(id, std::clamp(value + delta, 0.0, 1.0));
}

AAX_Result AAX_CEffectParameters::TouchParameter(AAX_CParamID id) noexcept {
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    parameter.Touch();
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::ReleaseParameter(AAX_CParamID id) noexcept {
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    parameter.Release();
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::UpdateParameterTouch(AAX_CParamID, uint8_t) noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::UpdateParameterNormalizedValue(AAX_CParamID id, double value,
                                                                 AAX_EUpdateSource) noexcept {
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    const double before = parameter.GetNormalizedValue();
    parameter.UpdateNormalizedValue(value);
    const AAX_Result result = mPacketDispatcher.SetDirty(id);
    if (before != value) ++mNumPlugInChanges;
    return result;
  });
}

AAX_Result AAX_CEffectParameters::UpdateParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept {
  double value = 0.0;
  const AAX_Result result = GetParameterNormalizedValue(id, &value);
  if (result != AAX_SUCCESS) return result;
  return UpdateParameterNormalizedValue(id, std::clamp(value + delta, 0.0, 1.0), AAX_eUpdateSource_Unspecified);
}

AAX_Result AAX_CEffectParameters::GenerateCoefficients() noexcept {
  return Guarded([&]() -> AAX_Result { return mPacketDispatcher.Dispatch(); });
}

AAX_Result AAX_CEffectParameters::ResetFieldData(AAX_CFieldIndex, void* data, uint32_t size) noexcept {
  if (data && size > 0) std::memset(data, 0, size);
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetNumberOfChunks(int32_t* count) noexcept {
  if (!count) return AAX_ERROR_NULL_ARGUMENT;
  *count = 1;
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetChunkIDFromIndex(int32_t index, AAX_CTypeID* chunkID) noexcept {
  if (!chunkID) return AAX_ERROR_NULL_ARGUMENT;
  if (index != 0) {
    *chunkID = 0;
    return AAX_ERROR_INVALID_CHUNK_INDEX;
  }
  *chunkID = cControlsChunkID;
  return AAX_SUCCESS;
}

void AAX_CEffectParameters::BuildChunkData() {
  mChunkParser.Clear();
  int32_t count = 0;
  if (GetNumberOfParameters(&count) != AAX_SUCCESS) {
    AAX_CHostServices::Trace(AAX_eTracePriorityHost_Critical,
                             "AAX_CEffectParameters::BuildChunkData - error getting the number of parameters");
    return;
  }
  for (int32_t i = 0; i < count; ++i) {
    const AAX_IParameter* parameter = mParameterManager.GetParameter(i);
    AAX_ASSERT(NULL != parameter);
    if (!parameter) continue;
    const AAX_CParamID id = parameter->Identifier();
    if (mFilteredParameters.count(id) != 0) continue;
    float f;
    int32_t n;
    bool b;
    double d;
    AAX_CString s;
    if (parameter->GetValueAsFloat(&f)) mChunkParser.AddDouble(id, double(f));
    else if (parameter->GetValueAsInt32(&n)) mChunkParser.AddInt32(id, n);
    else if (parameter->GetValueAsBool(&b)) mChunkParser.AddInt32(id, b ? 1 : 0);
    else if (parameter->GetValueAsDouble(&d)) mChunkParser.AddDouble(id, d);
    else if (parameter->GetValueAsString(&s)) mChunkParser.AddString(id, s);
  }
}

AAX_Result AAX_CEffectParameters::GetChunkSize(AAX_CTypeID chunkID, uint32_t* size) noexcept {
  if (!size) return AAX_ERROR_NULL_ARGUMENT;
  if (chunkID != cControlsChunkID) {
    *size = 0;
    return AAX_ERROR_INVALID_CHUNK_ID;
  }
  return Guarded([&]() -> AAX_Result {
    BuildChunkData();
    mChunkSize = static_cast<int32_t>(mChunkParser.GetChunkDataSize());
    if (mChunkSize < 0) return AAX_ERROR_INCORRECT_CHUNK_SIZE;
    *size = static_cast<uint32_t>(mChunkSize);
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetChunk(AAX_CTypeID chunkID, AAX_SPlugInChunk* chunk) noexcept {
  if (chunkID != cControlsChunkID) return AAX_ERROR_INVALID_CHUNK_ID;
  if (!chunk) return AAX_ERROR_NULL_ARGUMENT;
  return Guarded([&]() -> AAX_Result {
    BuildChunkData();
    // The host sized the record from GetChunkSize; values that changed size since then
    // would not fit.
    if (mChunkSize == 0 || static_cast<uint32_t>(mChunkSize) != mChunkParser.GetChunkDataSize())
      return AAX_ERROR_INCORRECT_CHUNK_SIZE;
    chunk->fVersion = mChunkParser.GetChunkVersion();
    std::memset(chunk->fName, 0, sizeof chunk->fName);
    std::strncpy(reinterpret_cast<char*>(chunk->fName), cControlsChunkName, sizeof chunk->fName - 1);
    return mChunkParser.GetChunkData(chunk);
  });
}

AAX_Result AAX_CEffectParameters::SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk) noexcept {
  if (chunkID != cControlsChunkID) return AAX_ERROR_INVALID_CHUNK_ID;
  if (!chunk) return AAX_ERROR_NULL_ARGUMENT;
  return Guarded([&]() -> AAX_Result {
    mChunkParser.LoadChunk(chunk);
    int32_t count = 0;
    const AAX_Result counted = GetNumberOfParameters(&count);
    if (counted != AAX_SUCCESS) {
      AAX_CHostServices::Trace(AAX_eTracePriorityHost_Critical,
                               "AAX_CEffectParameters::SetChunk - error getting the number of parameters");
      return counted;
    }
    for (int32_t i = 0; i < count; ++i) {
      AAX_IParameter* parameter = mParameterManager.GetParameter(i);
      if (!parameter) continue;
      const AAX_CParamID id = parameter->Identifier();
      if (mFilteredParameters.count(id) != 0) continue;
      float f;
      int32_t n;
      bool b;
      double d;
      AAX_CString s;
      if (parameter->GetValueAsFloat(&f)) {
        if (mChunkParser.FindDouble(id, &d)) parameter->SetValueWithFloat(static_cast<float>(d));
      } else if (parameter->GetValueAsInt32(&n)) {
        if (mChunkParser.FindInt32(id, &n)) parameter->SetValueWithInt32(n);
      } else if (parameter->GetValueAsBool(&b)) {
        if (mChunkParser.FindInt32(id, &n)) parameter->SetValueWithBool(n != 0);
      } else if (parameter->GetValueAsDouble(&d)) {
        if (mChunkParser.FindDouble(id, &d)) parameter->SetValueWithDouble(d);
      } else if (parameter->GetValueAsString(&s)) {
        if (mChunkParser.FindString(id, &s)) parameter->SetValueWithString(s);
      }
    }
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::CompareActiveChunk(const AAX_SPlugInChunk* chunk, uint8_t* isEqual) noexcept {
  if (!isEqual || !chunk) return AAX_ERROR_NULL_ARGUMENT;
  if (chunk->fChunkID != cControlsChunkID) {
    *isEqual = 1;
    return AAX_SUCCESS;
  }
  *isEqual = 0;
  return Guarded([&]() -> AAX_Result {
    mChunkParser.LoadChunk(chunk);
    int32_t count = 0;
    const AAX_Result counted = GetNumberOfParameters(&count);
    if (counted != AAX_SUCCESS) {
      AAX_CHostServices::Trace(AAX_eTracePriorityHost_Critical,
                               "AAX_CEffectParameters::CompareActiveChunk - error getting the number of parameters");
      return counted;
    }
    for (int32_t i = 0; i < count; ++i) {
      const AAX_IParameter* parameter = mParameterManager.GetParameter(i);
      AAX_ASSERT(NULL != parameter);
      if (!parameter) continue;
      const AAX_CParamID id = parameter->Identifier();
      if (mFilteredParameters.count(id) != 0) continue;
      float f;
      int32_t n;
      bool b;
      double d;
      AAX_CString s;
      bool same = true;
      if (parameter->GetValueAsFloat(&f)) {
        double saved;
        same = mChunkParser.FindDouble(id, &saved) && static_cast<float>(saved) == f;
      } else if (parameter->GetValueAsInt32(&n)) {
        int32_t saved;
        same = mChunkParser.FindInt32(id, &saved) && saved == n;
      } else if (parameter->GetValueAsBool(&b)) {
        int32_t saved;
        same = mChunkParser.FindInt32(id, &saved) && (saved != 0) == b;
      } else if (parameter->GetValueAsDouble(&d)) {
        double saved;
        same = mChunkParser.FindDouble(id, &saved) && static_cast<float>(saved) == static_cast<float>(d);
      } else if (parameter->GetValueAsString(&s)) {
        AAX_CString saved;
        same = mChunkParser.FindString(id, &saved) && saved.StdString() == s.StdString();
      }
      if (!same) return AAX_SUCCESS;
    }
    *isEqual = 1;
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetNumberOfChanges(int32_t* changes) noexcept {
  if (!changes) return AAX_ERROR_NULL_ARGUMENT;
  if (mNumPlugInChanges >= 0) *changes = mNumPlugInChanges;
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::TimerWakeup() noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::GetCurveData(AAX_CTypeID, const float*, uint32_t, float*) noexcept {
  return AAX_ERROR_UNIMPLEMENTED;
}

AAX_Result AAX_CEffectParameters::GetCustomData(AAX_CTypeID, uint32_t, void*, uint32_t* written) noexcept {
  if (written) *written = 0;
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::SetCustomData(AAX_CTypeID, uint32_t, const void*) noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::DoMIDITransfers() noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::RenderAudio_Hybrid(AAX_SHybridRenderInfo*) noexcept { return AAX_ERROR_UNIMPLEMENTED; }

AAX_Result AAX_CEffectParameters::UpdateMIDINodes(AAX_CFieldIndex, AAX_CMidiPacket&) noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::UpdateControlMIDINodes(AAX_CTypeID, AAX_CMidiPacket&) noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::GetCurveDataMeterIds(AAX_CTypeID, uint32_t*, uint32_t*) noexcept {
  return AAX_ERROR_UNIMPLEMENTED;
}

AAX_Result AAX_CEffectParameters::GetCurveDataDisplayRange(AAX_CTypeID, float*, float*, float*, float*) noexcept {
  return AAX_ERROR_UNIMPLEMENTED;
}

AAX_Result AAX_CEffectParameters::UpdatePageTable(uint32_t tableType, int32_t tablePageSize, IACFUnknown*,
                                                  IACFUnknown* pageTable) noexcept {
  return Guarded([&]() -> AAX_Result {
    AAX_VPageTable wrapper(pageTable);
    if (!HoldsPageTable(pageTable)) return AAX_SUCCESS;
    return UpdatePageTable(tableType, tablePageSize, wrapper);
  });
}

AAX_Result AAX_CEffectParameters::EffectInit() { return AAX_SUCCESS; }

AAX_Result AAX_CEffectParameters::UpdatePageTable(uint32_t, int32_t, AAX_IPageTable&) { return AAX_ERROR_UNIMPLEMENTED; }

AAX_IController* AAX_CEffectParameters::Controller() { return mController; }
const AAX_IController* AAX_CEffectParameters::Controller() const { return mController; }
AAX_IAutomationDelegate* AAX_CEffectParameters::AutomationDelegate() { return mAutomationDelegate; }
const AAX_IAutomationDelegate* AAX_CEffectParameters::AutomationDelegate() const { return mAutomationDelegate; }
AAX_ITransport* AAX_CEffectParameters::Transport() { return mTransport; }
const AAX_ITransport* AAX_CEffectParameters::Transport() const { return mTransport; }

void AAX_CEffectParameters::FilterParameterIDOnSave(AAX_CParamID id) {
  if (id) mFilteredParameters.insert(id);
}

bool AAX_CEffectParameters::IsParameterTouched(AAX_CParamID id) const {
  if (!mAutomationDelegate) return false;
  uint8_t touched = 0;
  if (mAutomationDelegate->GetTouchState(id, &touched) != AAX_SUCCESS) return false;
  return touched != 0;
}

bool AAX_CEffectParameters::IsParameterLinkReady(AAX_CParamID id, AAX_EUpdateSource source) const {
  if (source == 1 || source == 2 || source == 3) return false;
  return IsParameterTouched(id);
}

AAX_Result AAX_CEffectParameters::SetTaperDelegate(AAX_CParamID id, AAX_ITaperDelegateBase& taper, bool preserveValue) {
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    parameter.SetTaperDelegate(taper, preserveValue);
    if (!preserveValue) mPacketDispatcher.SetDirty(id);
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::SetDisplayDelegate(AAX_CParamID id, AAX_IDisplayDelegateBase& display) {
  return WithParameter(mParameterManager, id, [&](AAX_IParameter& parameter) -> AAX_Result {
    parameter.SetDisplayDelegate(display);
    return AAX_SUCCESS;
  });
}

int32_t NormalizedToInt32(double normalizedValue) {
  if (std::isnan(normalizedValue)) return 0;
  const double v = std::clamp(normalizedValue, 0.0, 1.0);
  return static_cast<int32_t>(std::floor(v * 4294967295.0 - 2147483648.0 + 0.5));
}

double Int32ToNormalized(int32_t value) { return (double(value) + 2147483648.0) / 4294967295.0; }

double BoolToNormalized(bool value) { return value ? 1.0 : 0.0; }
