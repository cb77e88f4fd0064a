// Host interface of a control-surface page table, versions 1 and 2.
#pragma once

#include "AAX.h"
#include "AAX_IString.h"
#include "IACFUnknown.h"

class AAX_IACFPageTable : public IACFUnknown {
public:
  virtual AAX_Result Clear() noexcept = 0;                                                          // 3
  virtual AAX_Result Empty(uint8_t& empty) noexcept = 0;                                            // 4
  virtual AAX_Result GetNumPages(int32_t& pages) noexcept = 0;                                      // 5
  virtual AAX_Result InsertPage(int32_t page) noexcept = 0;                                         // 6
  virtual AAX_Result RemovePage(int32_t page) noexcept = 0;                                         // 7
  virtual AAX_Result GetNumMappedParameterIDs(int32_t page, int32_t& count) noexcept = 0;           // 8
  virtual AAX_Result ClearMappedParameter(int32_t page, int32_t slot) noexcept = 0;                 // 9
  virtual AAX_Result GetMappedParameterID(int32_t page, int32_t slot, AAX_IString& id) noexcept = 0;  // 10
  virtual AAX_Result MapParameterID(AAX_CParamID id, int32_t page, int32_t slot) noexcept = 0;      // 11
};

class AAX_IACFPageTable_V2 : public AAX_IACFPageTable {
public:
  virtual AAX_Result GetNumParametersWithNameVariations(int32_t& count) noexcept = 0;                          // 12
  virtual AAX_Result GetNameVariationParameterIDAtIndex(int32_t index, AAX_IString& id) noexcept = 0;         // 13
  virtual AAX_Result GetNumNameVariationsForParameter(AAX_CParamID id, int32_t& count) noexcept = 0;          // 14
  virtual AAX_Result GetParameterNameVariationAtIndex(AAX_CParamID id, int32_t index, AAX_IString& name, int32_t& length) noexcept = 0;  // 15
  virtual AAX_Result GetParameterNameVariationOfLength(AAX_CParamID id, int32_t length, AAX_IString& name) noexcept = 0;  // 16
  virtual AAX_Result ClearParameterNameVariations() noexcept = 0;                                             // 17
  virtual AAX_Result ClearNameVariationsForParameter(AAX_CParamID id) noexcept = 0;                           // 18
  virtual AAX_Result SetParameterNameVariation(AAX_CParamID id, const AAX_IString& name, int32_t length) noexcept = 0;  // 19
};
