// The saved-state chunk record and the parser of the framework's chunk body: a self-describing
// list of named, typed values. The body is a stored format (the host keeps it in sessions):
// every byte of it is fixed, see the layout notes below.
#pragma once

#include "AAX.h"
#include "AAX_Errors.h"
#include "AAX_CString.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Chunk record as the host hands it over: a 56-byte header, then fSize bytes of body.
// Integers of the header are in the machine's byte order.
struct AAX_SPlugInChunk {
  int32_t fSize;            // body size in bytes, header not counted
  int32_t fVersion;         // chunk version
  uint32_t fHostOwned[3];   // owned by the host; never read or written here
  AAX_CTypeID fChunkID;     // four-character code
  unsigned char fName[32];  // NUL-terminated, at most 31 characters
  char fData[1];            // the body; the host allocates fSize bytes here
};

constexpr size_t kAAX_SPlugInChunkHeaderSize = 56;
static_assert(offsetof(AAX_SPlugInChunk, fData) == kAAX_SPlugInChunkHeaderSize, "the body follows the 56-byte header");

// Body layout, every multi-byte number big-endian, offsets from the body's first byte:
//   version word 01 01 01 01, then one entry per value, each starting at a multiple of 4:
//   two-character tag, the name and a NUL, zero padding to a multiple of 4, then the value
//   (8 bytes double; 4 bytes float or int32; int16 in 2 bytes plus 2 zero bytes; a string's
//   bytes and its NUL padded with zeros to a multiple of 4).
namespace AAX_ChunkDataParserDefs {
constexpr uint32_t VERSION_ID_1 = 0x01010101u;
constexpr const char* DOUBLE_STRING_IDENTIFIER = "d_";
constexpr const char* LONG_STRING_IDENTIFIER = "l_";
constexpr const char* FLOAT_STRING_IDENTIFIER = "f_";
constexpr const char* SHORT_STRING_IDENTIFIER = "s_";
constexpr const char* STRING_STRING_IDENTIFIER = "r_";
constexpr size_t MAX_NAME_LENGTH = 255;  // longest tag-and-name text the reader takes
constexpr int32_t BUILD_DATA_FAILED = -333;  // the writer's own result for an inconsistent list
}  // namespace AAX_ChunkDataParserDefs

class AAX_CChunkDataParser {
public:
  enum EValueType : int32_t {
    eType_None = 0,
    eType_Float = 1,
    eType_Int32 = 2,
    eType_Double = 3,
    eType_Int16 = 4,
    eType_String = 5,
  };

  struct DataValue {
    int32_t mDataType = eType_None;
    AAX_CString mDataName;  // without the tag
    // double: all 64 bits; float and int32: the 32-bit pattern in the low half;
    // int16: the 16-bit pattern in the low 16 bits.
    uint64_t mIntValue = 0;
    AAX_CString mStringValue;
  };

  AAX_CChunkDataParser() = default;
  virtual ~AAX_CChunkDataParser();

  // Append a value; names are not checked for duplicates. A null name counts as "".
  void AddFloat(const char* name, float value);
  void AddDouble(const char* name, double value);
  void AddInt32(const char* name, int32_t value);
  void AddInt16(const char* name, int16_t value);
  void AddString(const char* name, AAX_CString value);

  // Body size of the current list (version word and every entry with its padding).
  uint32_t GetChunkDataSize() const noexcept;
  // Writes the body into chunk->fData (which must have room for GetChunkDataSize() bytes)
  // and sets chunk->fSize. Answers 0, or -333 when the list would overflow its own size.
  int32_t GetChunkData(AAX_SPlugInChunk* chunk) const noexcept;
  // Replaces the list with the values of the chunk's body. Never reads past fSize bytes of
  // body; an unreadable body gives an empty list, a truncated one the entries before the cut.
  void LoadChunk(const AAX_SPlugInChunk* chunk) noexcept;

  // True and the value when a value of that name has the requested type; else false and the
  // output untouched. Each look-up starts searching after the previous hit.
  bool FindDouble(const char* name, double* out);
  bool FindFloat(const char* name, float* out);
  bool FindInt32(const char* name, int32_t* out);
  bool FindInt16(const char* name, int16_t* out);
  bool FindString(const char* name, AAX_IString* out);
  bool ReplaceDouble(const char* name, double value);

  // Index of a value of that name, or -1.
  int32_t FindName(const AAX_CString& name);

  void Clear() noexcept;
  bool IsEmpty() const noexcept { return mDataValues.empty(); }
  int32_t GetChunkVersion() const noexcept { return mChunkVersion; }
  const std::vector<DataValue>& Values() const noexcept { return mDataValues; }

  // Round a byte position up to the next multiple of 4.
  static void WordAlign(unsigned int& position) noexcept;
  static void WordAlign(int& position) noexcept;

private:
  // The value of that name (found as FindName finds it) when it has `type`; else null.
  DataValue* FindTyped(const char* name, int32_t type);

  int32_t mLastFoundIndex = -1;
  int32_t mChunkVersion = -1;
  std::vector<DataValue> mDataValues;
};
