// Versioned wrapper of a host page table. Every operation answers -20009 when its
// version is missing, the first version included.
#pragma once

#include "AAX_IPageTable.h"
#include "AAX_IACFPageTable.h"
#include "ACFPtr.h"

class AAX_VPageTable : public AAX_IPageTable {
public:
  explicit AAX_VPageTable(IACFUnknown* host);
  ~AAX_VPageTable() override;
  AAX_VPageTable(const AAX_VPageTable&) = delete;
  AAX_VPageTable& operator=(const AAX_VPageTable&) = delete;

  // [any-thread] as far as the host allows; none of these throws.
  AAX_Result Clear() override;
  AAX_Result Empty(uint8_t& empty) const override;
  AAX_Result GetNumPages(int32_t& pages) const override;
  AAX_Result InsertPage(int32_t page) override;
  AAX_Result RemovePage(int32_t page) override;
  AAX_Result GetNumMappedParameterIDs(int32_t page, int32_t& count) const override;
  AAX_Result ClearMappedParameter(int32_t page, int32_t slot) override;
  AAX_Result GetMappedParameterID(int32_t page, int32_t slot, AAX_IString& id) const override;
  AAX_Result MapParameterID(AAX_CParamID id, int32_t page, int32_t slot) override;
  AAX_Result GetNumParametersWithNameVariations(int32_t& count) const override;
  AAX_Result GetNameVariationParameterIDAtIndex(int32_t index, AAX_IString& id) const override;
  AAX_Result GetNumNameVariationsForParameter(AAX_CParamID id, int32_t& count) const override;
  AAX_Result GetParameterNameVariationAtIndex(AAX_CParamID id, int32_t index, AAX_IString& name, int32_t& length) const override;
  AAX_Result GetParameterNameVariationOfLength(AAX_CParamID id, int32_t length, AAX_IString& name) const override;
  AAX_Result ClearParameterNameVariations() override;
  AAX_Result ClearNameVariationsForParameter(AAX_CParamID id) override;
  AAX_Result SetParameterNameVariation(AAX_CParamID id, const AAX_IString& name, int32_t length) override;

private:
  ACFPtr<AAX_IACFPageTable> mIPageTable;
  ACFPtr<AAX_IACFPageTable_V2> mIPageTableV2;
};
