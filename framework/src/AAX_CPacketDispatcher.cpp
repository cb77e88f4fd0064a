#include "AAX_CPacketDispatcher.h"

#include "AAX_IController.h"
#include "AAX_IEffectParameters.h"
#include "AAX_IParameter.h"
#include "AAX_StLock_Guard.h"

#include <memory>

AAX_CPacketDispatcher::~AAX_CPacketDispatcher() {
  AAX_StLock_Guard guard(mLockGuard);
  for (auto& entry : mPacketsHandlers) delete entry.second.second;
  for (auto& entry : mPacketsHolder) delete entry.second;
  mPacketsHandlers.clear();
  mPacketsHolder.clear();
}

void AAX_CPacketDispatcher::Initialize(AAX_IController* controller, AAX_IEffectParameters* effectParameters) {
  mController = controller;
  mEffectParameters = effectParameters;
}

AAX_Result AAX_CPacketDispatcher::RegisterPacket(AAX_CParamID parameterID, AAX_CFieldIndex packetID,
                                                 const AAX_IPacketHandler* handler) {
  if (!parameterID || !handler) return AAX_ERROR_NULL_ARGUMENT;
  AAX_StLock_Guard guard(mLockGuard);
  std::unique_ptr<AAX_IPacketHandler> copy(handler->Clone());
  if (!copy) return AAX_ERROR_NULL_OBJECT;
  AAX_CPacket* packet = nullptr;
  if (packetID >= 0) {
    auto it = mPacketsHolder.find(packetID);
    if (it == mPacketsHolder.end()) {
      auto created = std::make_unique<AAX_CPacket>(packetID);
      it = mPacketsHolder.emplace(packetID, created.get()).first;
      created.release();
    }
    packet = it->second;
  }
  mPacketsHandlers.emplace(std::string(parameterID), Registration(packet, copy.get()));
  copy.release();
  return AAX_SUCCESS;
}

AAX_Result AAX_CPacketDispatcher::SetDirty(AAX_CParamID parameterID, bool dirty) {
  if (!parameterID) return AAX_SUCCESS;
  AAX_StLock_Guard guard(mLockGuard);
  auto range = mPacketsHandlers.equal_range(parameterID);
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second.first) it->second.first->SetDirty(dirty);
  }
  return AAX_SUCCESS;
}

AAX_Result AAX_CPacketDispatcher::Dispatch() {
  AAX_StLock_Guard guard(mLockGuard);
  AAX_Result result = AAX_SUCCESS;
  for (auto& entry : mPacketsHandlers) {
    AAX_CPacket* packet = entry.second.first;
    if (!packet || !packet->IsDirty()) continue;
    if (entry.second.second->CallHandler(entry.first.c_str(), *packet) == AAX_SUCCESS) {
      const AAX_Result posted =
          mController ? mController->PostPacket(packet->GetID(), packet->GetPtr<const void>(), packet->GetSize())
                      : AAX_Result(AAX_ERROR_NULL_OBJECT);
      // The first failure is the one worth reporting; later successes must not hide it.
      if (result == AAX_SUCCESS) result = posted;
    }
    packet->SetDirty(false);
  }
  return result;
}

AAX_Result AAX_CPacketDispatcher::GenerateSingleValuePacket(AAX_CParamID parameterID, AAX_CPacket& packet) {
  AAX_StLock_Guard guard(mLockGuard);
  AAX_IParameter* parameter = nullptr;
  if (!mEffectParameters || mEffectParameters->GetParameter(parameterID, &parameter) != AAX_SUCCESS || !parameter)
    return AAX_ERROR_NULL_OBJECT;
  bool b = false;
  float f = 0.0f;
  int32_t i = 0;
  double d = 0.0;
  if (parameter->GetValueAsBool(&b)) *packet.GetPtr<int32_t>() = b ? 1 : 0;
  else if (parameter->GetValueAsFloat(&f)) *packet.GetPtr<float>() = f;
  else if (parameter->GetValueAsInt32(&i)) *packet.GetPtr<int32_t>() = i;
  else if (parameter->GetValueAsDouble(&d)) *packet.GetPtr<double>() = d;
  else return AAX_ERROR_NULL_OBJECT;
  return AAX_SUCCESS;
}
