// Links parameter identifiers to coefficient packets: a parameter change marks its packets
// dirty, and a dispatch has each dirty packet filled by its handler and posted to the host.
#pragma once

#include "AAX.h"
#include "AAX_Errors.h"
#include "AAX_CMutex.h"
#include "AAX_CPacket.h"
#include "AAX_IPacketHandler.h"

#include <map>
#include <string>
#include <utility>

class AAX_IController;
class AAX_IEffectParameters;

class AAX_CPacketDispatcher {
public:
  AAX_CPacketDispatcher() = default;
  ~AAX_CPacketDispatcher();
  AAX_CPacketDispatcher(const AAX_CPacketDispatcher&) = delete;
  AAX_CPacketDispatcher& operator=(const AAX_CPacketDispatcher&) = delete;

  void Initialize(AAX_IController* controller, AAX_IEffectParameters* effectParameters);

  // [any-thread] Links `parameterID` to packet `packetID` (created when new) with a copy of
  // `handler`. A negative packet identifier registers nothing to post. Answers -20044 for a
  // null identifier or handler.
  AAX_Result RegisterPacket(AAX_CParamID parameterID, AAX_CFieldIndex packetID, const AAX_IPacketHandler* handler);
  // [any-thread] Marks every packet registered for `parameterID`.
  AAX_Result SetDirty(AAX_CParamID parameterID, bool dirty = true);
  // [host-thread] Fills and posts every dirty packet once; answers 0 or the first failure.
  AAX_Result Dispatch();
  // Fills `packet` with the parameter's current value (bool as a 32-bit 0 or 1, float,
  // 32-bit integer, double); -20004 when the parameter is missing or has none of these.
  AAX_Result GenerateSingleValuePacket(AAX_CParamID parameterID, AAX_CPacket& packet);

private:
  using Registration = std::pair<AAX_CPacket*, AAX_IPacketHandler*>;

  std::map<AAX_CFieldIndex, AAX_CPacket*> mPacketsHolder;
  std::multimap<std::string, Registration> mPacketsHandlers;
  AAX_IController* mController = nullptr;
  AAX_IEffectParameters* mEffectParameters = nullptr;
  AAX_CMutex mLockGuard;
};
