// A control-surface page table as the framework sees it (wrapper: AAX_VPageTable).
#pragma once

#include "AAX.h"
#include "AAX_IString.h"

class AAX_IPageTable {
public:
  virtual ~AAX_IPageTable() = default;
  virtual AAX_Result Clear() = 0;
  virtual AAX_Result Empty(uint8_t& empty) const = 0;
  virtual AAX_Result GetNumPages(int32_t& pages) const = 0;
  virtual AAX_Result InsertPage(int32_t page) = 0;
  virtual AAX_Result RemovePage(int32_t page) = 0;
  virtual AAX_Result GetNumMappedParameterIDs(int32_t page, int32_t& count) const = 0;
  virtual AAX_Result ClearMappedParameter(int32_t page, int32_t slot) = 0;
  virtual AAX_Result GetMappedParameterID(int32_t page, int32_t slot, AAX_IString& id) const = 0;
  virtual AAX_Result MapParameterID(AAX_CParamID id, int32_t page, int32_t slot) = 0;
  virtual AAX_Result GetNumParametersWithNameVariations(int32_t& count) const = 0;
  virtual AAX_Result GetNameVariationParameterIDAtIndex(int32_t index, AAX_IString& id) const = 0;
  virtual AAX_Result GetNumNameVariationsForParameter(AAX_CParamID id, int32_t& count) const = 0;
  virtual AAX_Result GetParameterNameVariationAtIndex(AAX_CParamID id, int32_t index, AAX_IString& name, int32_t& length) const = 0;
  virtual AAX_Result GetParameterNameVariationOfLength(AAX_CParamID id, int32_t length, AAX_IString& name) const = 0;
  virtual AAX_Result ClearParameterNameVariations() = 0;
  virtual AAX_Result ClearNameVariationsForParameter(AAX_CParamID id) = 0;
  virtual AAX_Result SetParameterNameVariation(AAX_CParamID id, const AAX_IString& name, int32_t length) = 0;
};
