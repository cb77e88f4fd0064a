// Host interface that copies the host's page tables into a page table the caller made.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_IACFPageTableController : public IACFUnknown {
public:
  virtual AAX_Result CopyTableForEffect(AAX_CTypeID manufacturerID, AAX_CTypeID productID, AAX_CTypeID plugInID,
                                        uint32_t tableType, int32_t tablePageSize, IACFUnknown* pageTable) noexcept = 0;  // 3
  virtual AAX_Result CopyTableForLayout(const char* effectID, const char* layoutName, uint32_t tableType,
                                        int32_t tablePageSize, IACFUnknown* pageTable) noexcept = 0;                      // 4
};

class AAX_IACFPageTableController_V2 : public AAX_IACFPageTableController {
public:
  virtual AAX_Result CopyTableOfLayoutForEffectFromFile(const char* path, AAX_ETextEncoding encoding, AAX_CTypeID manufacturerID,
                                                        AAX_CTypeID productID, AAX_CTypeID plugInID, uint32_t tableType,
                                                        int32_t tablePageSize, IACFUnknown* pageTable) noexcept = 0;      // 5
  virtual AAX_Result CopyTableForLayoutFromFile(const char* path, AAX_ETextEncoding encoding, const char* layoutName,
                                                uint32_t tableType, int32_t tablePageSize, IACFUnknown* pageTable) noexcept = 0;  // 6
};
