// Direct-memory-access description; only its mode enumeration crosses the host interface.
#pragma once

#include <cstdint>

class AAX_IDma {
public:
  enum EMode : int32_t { eMode_Error = 0, eMode_Burst = 1, eMode_Gather = 2, eMode_Scatter = 3 };
  virtual ~AAX_IDma() = default;
};
