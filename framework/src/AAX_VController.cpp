#include "AAX_VController.h"

#include "AAX_VPageTable.h"
#include "AAX_VersionedCall.h"

using qm::framework::QueryInto;

AAX_VController::AAX_VController(IACFUnknown* host) {
  if (!host) return;
  QueryInto(host, IID_IAAXControllerV1, mIController);
  QueryInto(host, IID_IAAXControllerV2, mIControllerV2);
  QueryInto(host, IID_IAAXControllerV3, mIControllerV3);
  QueryInto(host, IID_IAAXControllerV4, mIControllerV4);
  QueryInto(host, IID_IAAXControllerV5, mIControllerV5);
  QueryInto(host, IID_IAAXPageTableController, mIPageTableController);
  QueryInto(host, IID_IAAXPageTableControllerV2, mIPageTableControllerV2);
  try {
    mComponentFactory = ACFPtr<IACFComponentFactory>(IID_IACFComponentFactory, host);
  } catch (ACFRESULT) {
    // No factory: page tables cannot be created, everything else still works.
  }
}

// Members are released in reverse order of declaration.
AAX_VController::~AAX_VController() = default;

AAX_Result AAX_VController::GetEffectID(AAX_IString* effectID) const {
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, GetEffectID(effectID));
}
AAX_Result AAX_VController::GetSampleRate(float* sampleRate) const {
  if (mIController && !sampleRate) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, GetSampleRate(sampleRate));
}
AAX_Result AAX_VController::GetInputStemFormat(AAX_EStemFormat* format) const {
  if (mIController && !format) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, GetInputStemFormat(format));
}
AAX_Result AAX_VController::GetOutputStemFormat(AAX_EStemFormat* format) const {
  if (mIController && !format) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, GetOutputStemFormat(format));
}
AAX_Result AAX_VController::GetSignalLatency(int32_t* samples) const {
  if (mIController && !samples) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, GetSignalLatency(samples));
}
AAX_Result AAX_VController::GetCycleCount(AAX_EProperty which, int32_t* cycles) const {
  if (mIController && !cycles) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, GetCycleCount(which, cycles));
}
AAX_Result AAX_VController::GetTODLocation(int64_t* location) const {
  if (mIController && !location) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, GetTODLocation(location));
}
AAX_Result AAX_VController::SetSignalLatency(int32_t samples) {
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, SetSignalLatency(samples));
}
AAX_Result AAX_VController::SetCycleCount(AAX_EProperty* which, int32_t* values, int32_t count) {
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, SetCycleCount(which, values, count));
}
AAX_Result AAX_VController::PostPacket(AAX_CFieldIndex field, const void* payload, uint32_t size) {
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, PostPacket(field, payload, size));
}
AAX_Result AAX_VController::SendNotification(AAX_CTypeID type, const void* data, uint32_t size) {
  QM_CALL(mIControllerV2, AAX_ERROR_UNIMPLEMENTED, SendNotification(type, data, size));
}
AAX_Result AAX_VController::SendNotification(AAX_CTypeID type) {
  QM_CALL(mIControllerV2, AAX_ERROR_UNIMPLEMENTED, SendNotification(type, nullptr, 0));
}
AAX_Result AAX_VController::GetCurrentMeterValue(AAX_CTypeID meterID, float* value) const {
  if (mIController && !value) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, GetCurrentMeterValue(meterID, value));
}
AAX_Result AAX_VController::GetMeterPeakValue(AAX_CTypeID meterID, float* value) const {
  if (mIController && !value) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, GetMeterPeakValue(meterID, value));
}
AAX_Result AAX_VController::ClearMeterPeakValue(AAX_CTypeID meterID) const {
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, ClearMeterPeakValue(meterID));
}
AAX_Result AAX_VController::GetMeterCount(uint32_t* count) const {
  if (mIController && !count) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, GetMeterCount(count));
}
AAX_Result AAX_VController::GetMeterClipped(AAX_CTypeID meterID, uint8_t* clipped) const {
  if (mIController && !clipped) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, GetMeterClipped(meterID, clipped));
}
AAX_Result AAX_VController::ClearMeterClipped(AAX_CTypeID meterID) const {
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, ClearMeterClipped(meterID));
}
AAX_Result AAX_VController::GetNextMIDIPacket(AAX_CFieldIndex* port, AAX_CMidiPacket* packet) {
  if (mIController && (!port || !packet)) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIController, AAX_ERROR_NULL_OBJECT, GetNextMIDIPacket(port, packet));
}
AAX_Result AAX_VController::GetHybridSignalLatency(int32_t* samples) const {
  if (mIControllerV2 && !samples) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIControllerV2, AAX_ERROR_UNIMPLEMENTED, GetHybridSignalLatency(samples));
}
AAX_Result AAX_VController::GetCurrentAutomationTimestamp(int64_t* timestamp) const {
  if (!mIControllerV2) {
    if (timestamp) *timestamp = 0;
    return AAX_ERROR_UNIMPLEMENTED;
  }
  if (!timestamp) return AAX_ERROR_NULL_ARGUMENT;
  return mIControllerV2->GetCurrentAutomationTimestamp(timestamp);
}
AAX_Result AAX_VController::GetHostName(AAX_IString* name) const {
  if (mIControllerV2 && !name) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIControllerV2, AAX_ERROR_UNIMPLEMENTED, GetHostName(name));
}
AAX_Result AAX_VController::GetPlugInTargetPlatform(int32_t* platform) const {
  if (mIControllerV3 && !platform) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIControllerV3, AAX_ERROR_UNIMPLEMENTED, GetPlugInTargetPlatform(platform));
}
AAX_Result AAX_VController::GetIsAudioSuite(uint8_t* isAudioSuite) const {
  if (mIControllerV3 && !isAudioSuite) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIControllerV3, AAX_ERROR_UNIMPLEMENTED, GetIsAudioSuite(isAudioSuite));
}
AAX_Result AAX_VController::GetInstanceGroupID(uint64_t* id) const {
  if (mIControllerV4 && !id) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIControllerV4, AAX_ERROR_UNIMPLEMENTED, GetInstanceGroupID(id));
}
AAX_Result AAX_VController::GetInstanceID(uint32_t* id) const {
  if (mIControllerV5 && !id) return AAX_ERROR_NULL_ARGUMENT;
  QM_CALL(mIControllerV5, AAX_ERROR_UNIMPLEMENTED, GetInstanceID(id));
}
AAX_Result AAX_VController::RegisterForNotification(AAX_CTypeID type, const IACFUnknown* receiver) {
  QM_CALL(mIControllerV5, AAX_ERROR_UNIMPLEMENTED, RegisterForNotification(type, receiver));
}

// An empty host page table made through the factory, or null.
ACFPtr<IACFUnknown> AAX_VController::NewHostPageTable() const {
  ACFPtr<IACFUnknown> table;
  if (!mComponentFactory) return table;
  IACFUnknown* created = nullptr;
  if (mComponentFactory->CreateComponent(AAXCompID_PageTable, nullptr, IID_IAAXPageTableV2,
                                         reinterpret_cast<void**>(&created)) != 0) {
    if (created) created->Release();
    return table;
  }
  table = created;  // takes its own reference ...
  if (created) created->Release();  // ... so the creation's reference is handed back
  return table;
}

namespace {
AAX_IPageTable* WrapIfFilled(AAX_Result answer, const ACFPtr<IACFUnknown>& table) {
  if (answer != 0 || !table) return nullptr;
  return new AAX_VPageTable(table.inArg());
}
}  // namespace

AAX_IPageTable* AAX_VController::CreateTableCopyForEffect(AAX_CTypeID manufacturerID, AAX_CTypeID productID,
                                                          AAX_CTypeID plugInID, uint32_t tableType,
                                                          int32_t tablePageSize) const {
  if (!mIPageTableController) return nullptr;
  const ACFPtr<IACFUnknown> table = NewHostPageTable();
  const AAX_Result answer = mIPageTableController->CopyTableForEffect(manufacturerID, productID, plugInID, tableType,
                                                                      tablePageSize, table.inArg());
  return WrapIfFilled(answer, table);
}

AAX_IPageTable* AAX_VController::CreateTableCopyForLayout(const char* effectID, const char* layoutName,
                                                          uint32_t tableType, int32_t tablePageSize) const {
  if (!mIPageTableController) return nullptr;
  const ACFPtr<IACFUnknown> table = NewHostPageTable();
  const AAX_Result answer =
      mIPageTableController->CopyTableForLayout(effectID, layoutName, tableType, tablePageSize, table.inArg());
  return WrapIfFilled(answer, table);
}

AAX_IPageTable* AAX_VController::CreateTableCopyForEffectFromFile(const char* path, AAX_ETextEncoding encoding,
                                                                  AAX_CTypeID manufacturerID, AAX_CTypeID productID,
                                                                  AAX_CTypeID plugInID, uint32_t tableType,
                                                                  int32_t tablePageSize) const {
  if (!mIPageTableControllerV2) return nullptr;
  const ACFPtr<IACFUnknown> table = NewHostPageTable();
  const AAX_Result answer = mIPageTableControllerV2->CopyTableOfLayoutForEffectFromFile(
      path, encoding, manufacturerID, productID, plugInID, tableType, tablePageSize, table.inArg());
  return WrapIfFilled(answer, table);
}

AAX_IPageTable* AAX_VController::CreateTableCopyForLayoutFromFile(const char* path, AAX_ETextEncoding encoding,
                                                                  const char* layoutName, uint32_t tableType,
                                                                  int32_t tablePageSize) const {
  if (!mIPageTableControllerV2) return nullptr;
  const ACFPtr<IACFUnknown> table = NewHostPageTable();
  const AAX_Result answer = mIPageTableControllerV2->CopyTableForLayoutFromFile(path, encoding, layoutName, tableType,
                                                                               tablePageSize, table.inArg());
  return WrapIfFilled(answer, table);
}
