#include "AAX_VPageTable.h"

#include "AAX_VersionedCall.h"

using qm::framework::QueryInto;

AAX_VPageTable::AAX_VPageTable(IACFUnknown* host) {
  if (!host) return;
  QueryInto(host, IID_IAAXPageTableV1, mIPageTable);
  QueryInto(host, IID_IAAXPageTableV2, mIPageTableV2);
}

AAX_VPageTable::~AAX_VPageTable() = default;

AAX_Result AAX_VPageTable::Clear() {
  QM_CALL(mIPageTable, AAX_ERROR_UNIMPLEMENTED, Clear());
}

AAX_Result AAX_VPageTable::Empty(uint8_t& empty) const {
  QM_CALL(mIPageTable, AAX_ERROR_UNIMPLEMENTED, Empty(empty));
}

AAX_Result AAX_VPageTable::GetNumPages(int32_t& pages) const {
  QM_CALL(mIPageTable, AAX_ERROR_UNIMPLEMENTED, GetNumPages(pages));
}

AAX_Result AAX_VPageTable::InsertPage(int32_t page) {
  QM_CALL(mIPageTable, AAX_ERROR_UNIMPLEMENTED, InsertPage(page));
}

AAX_Result AAX_VPageTable::RemovePage(int32_t page) {
  QM_CALL(mIPageTable, AAX_ERROR_UNIMPLEMENTED, RemovePage(page));
}

AAX_Result AAX_VPageTable::GetNumMappedParameterIDs(int32_t page, int32_t& count) const {
  QM_CALL(mIPageTable, AAX_ERROR_UNIMPLEMENTED, GetNumMappedParameterIDs(page, count));
}

AAX_Result AAX_VPageTable::ClearMappedParameter(int32_t page, int32_t slot) {
  QM_CALL(mIPageTable, AAX_ERROR_UNIMPLEMENTED, ClearMappedParameter(page, slot));
}

AAX_Result AAX_VPageTable::GetMappedParameterID(int32_t page, int32_t slot, AAX_IString& id) const {
  QM_CALL(mIPageTable, AAX_ERROR_UNIMPLEMENTED, GetMappedParameterID(page, slot, id));
}

AAX_Result AAX_VPageTable::MapParameterID(AAX_CParamID id, int32_t page, int32_t slot) {
  QM_REQUIRE_ID(mIPageTable, id);
  QM_CALL(mIPageTable, AAX_ERROR_UNIMPLEMENTED, MapParameterID(id, page, slot));
}

AAX_Result AAX_VPageTable::GetNumParametersWithNameVariations(int32_t& count) const {
  QM_CALL(mIPageTableV2, AAX_ERROR_UNIMPLEMENTED, GetNumParametersWithNameVariations(count));
}

AAX_Result AAX_VPageTable::GetNameVariationParameterIDAtIndex(int32_t index, AAX_IString& id) const {
  QM_CALL(mIPageTableV2, AAX_ERROR_UNIMPLEMENTED, GetNameVariationParameterIDAtIndex(index, id));
}

AAX_Result AAX_VPageTable::GetNumNameVariationsForParameter(AAX_CParamID id, int32_t& count) const {
  QM_REQUIRE_ID(mIPageTableV2, id);
  QM_CALL(mIPageTableV2, AAX_ERROR_UNIMPLEMENTED, GetNumNameVariationsForParameter(id, count));
}

AAX_Result AAX_VPageTable::GetParameterNameVariationAtIndex(AAX_CParamID id, int32_t index, AAX_IString& name, int32_t& length) const {
  QM_REQUIRE_ID(mIPageTableV2, id);
  QM_CALL(mIPageTableV2, AAX_ERROR_UNIMPLEMENTED, GetParameterNameVariationAtIndex(id, index, name, length));
}

AAX_Result AAX_VPageTable::GetParameterNameVariationOfLength(AAX_CParamID id, int32_t length, AAX_IString& name) const {
  QM_REQUIRE_ID(mIPageTableV2, id);
  QM_CALL(mIPageTableV2, AAX_ERROR_UNIMPLEMENTED, GetParameterNameVariationOfLength(id, length, name));
}

AAX_Result AAX_VPageTable::ClearParameterNameVariations() {
  QM_CALL(mIPageTableV2, AAX_ERROR_UNIMPLEMENTED, ClearParameterNameVariations());
}

AAX_Result AAX_VPageTable::ClearNameVariationsForParameter(AAX_CParamID id) {
  QM_REQUIRE_ID(mIPageTableV2, id);
  QM_CALL(mIPageTableV2, AAX_ERROR_UNIMPLEMENTED, ClearNameVariationsForParameter(id));
}

AAX_Result AAX_VPageTable::SetParameterNameVariation(AAX_CParamID id, const AAX_IString& name, int32_t length) {
  QM_REQUIRE_ID(mIPageTableV2, id);
  QM_CALL(mIPageTableV2, AAX_ERROR_UNIMPLEMENTED, SetParameterNameVariation(id, name, length));
}
