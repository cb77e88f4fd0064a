// Host interface of the plug-in collection filled during registration.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_IACFCollection : public IACFUnknown {
public:
  // Slots 3 to 6 are host operations this framework does not call.
  virtual AAX_Result ReservedSlot3() noexcept = 0;
  virtual AAX_Result ReservedSlot4() noexcept = 0;
  virtual AAX_Result ReservedSlot5() noexcept = 0;
  virtual AAX_Result ReservedSlot6() noexcept = 0;
  virtual AAX_Result AddEffect(const char* effectID, IACFUnknown* descriptor) noexcept = 0;  // 7
  virtual AAX_Result SetManufacturerName(const char* name) noexcept = 0;                      // 8
  virtual AAX_Result AddPackageName(const char* name) noexcept = 0;                           // 9
  virtual AAX_Result SetPackageVersion(uint32_t version) noexcept = 0;                        // 10
  virtual AAX_Result SetProperties(IACFUnknown* properties) noexcept = 0;                     // 11
};
