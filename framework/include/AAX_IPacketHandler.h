// Fills a packet from a parameter's state. The dispatcher keeps its own copy (Clone).
#pragma once

#include "AAX.h"
#include "AAX_Errors.h"
#include "AAX_CPacket.h"

class AAX_IPacketHandler {
public:
  virtual ~AAX_IPacketHandler() = default;
  virtual AAX_IPacketHandler* Clone() const = 0;
  // [host-thread] Answers 0 when the packet is ready to post.
  virtual AAX_Result CallHandler(AAX_CParamID parameterID, AAX_CPacket& packet) const = 0;
};
