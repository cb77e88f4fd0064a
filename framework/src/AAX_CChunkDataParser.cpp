#include "AAX_CChunkDataParser.h"

#include "AAX_CHostServices.h"

#include <cstring>
#include <stdexcept>

namespace {

using namespace AAX_ChunkDataParserDefs;

// Byte length of a name or string value as stored: up to its first NUL, because the reader
// takes NUL-terminated texts and any byte after a NUL would shift every later entry.
size_t storedLength(const AAX_CString& s) { return std::strlen(s.Get()); }

void putBE(unsigned char* dst, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) dst[i] = static_cast<unsigned char>(value >> (8 * (bytes - 1 - i)));
}

uint64_t getBE(const unsigned char* src, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) value = (value << 8) | src[i];
  return value;
}

uint32_t align4(uint32_t n) { return (n + 3u) & ~3u; }

const char* tagFor(int32_t type) {
  switch (type) {
    case AAX_CChunkDataParser::eType_Double: return DOUBLE_STRING_IDENTIFIER;
    case AAX_CChunkDataParser::eType_Int32: return LONG_STRING_IDENTIFIER;
    case AAX_CChunkDataParser::eType_Float: return FLOAT_STRING_IDENTIFIER;
    case AAX_CChunkDataParser::eType_Int16: return SHORT_STRING_IDENTIFIER;
    case AAX_CChunkDataParser::eType_String: return STRING_STRING_IDENTIFIER;
    default: return nullptr;
  }
}

// A list entry of `type` named `name` (null counts as ""), holding `bits` as its value pattern.
AAX_CChunkDataParser::DataValue Entry(int32_t type, const char* name, uint64_t bits) {
  AAX_CChunkDataParser::DataValue v;
  v.mDataType = type;
  v.mDataName = AAX_CString(name);
  v.mIntValue = bits;
  return v;
}

}  // namespace

AAX_CChunkDataParser::~AAX_CChunkDataParser() = default;

void AAX_CChunkDataParser::AddFloat(const char* name, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  mDataValues.push_back(Entry(eType_Float, name, bits));
}

void AAX_CChunkDataParser::AddDouble(const char* name, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  mDataValues.push_back(Entry(eType_Double, name, bits));
}

void AAX_CChunkDataParser::AddInt32(const char* name, int32_t value) {
  mDataValues.push_back(Entry(eType_Int32, name, static_cast<uint32_t>(value)));
}

void AAX_CChunkDataParser::AddInt16(const char* name, int16_t value) {
  mDataValues.push_back(Entry(eType_Int16, name, static_cast<uint16_t>(value)));
}

void AAX_CChunkDataParser::AddString(const char* name, AAX_CString value) {
  DataValue v = Entry(eType_String, name, 0);
  v.mStringValue = std::move(value);
  mDataValues.push_back(std::move(v));
}

uint32_t AAX_CChunkDataParser::GetChunkDataSize() const noexcept {
  uint32_t size = 4;  // version word
  for (const DataValue& v : mDataValues) {
    if (!tagFor(v.mDataType)) continue;  // a value of no type cannot be written
    size += align4(static_cast<uint32_t>(storedLength(v.mDataName)) + 3u);
    switch (v.mDataType) {
      case eType_Double: size += 8; break;
      case eType_String: size += align4(static_cast<uint32_t>(storedLength(v.mStringValue)) + 1u); break;
      default: size += 4; break;
    }
  }
  return size;
}

int32_t AAX_CChunkDataParser::GetChunkData(AAX_SPlugInChunk* chunk) const noexcept {
  if (!chunk) return BUILD_DATA_FAILED;
  try {
    const uint32_t size = GetChunkDataSize();
    if (static_cast<int32_t>(size) < 4) return BUILD_DATA_FAILED;
    auto* body = reinterpret_cast<unsigned char*>(chunk->fData);
    std::memset(body, 0, size);
    putBE(body, VERSION_ID_1, 4);
    uint32_t position = 4;
    for (const DataValue& v : mDataValues) {
      const char* tag = tagFor(v.mDataType);
      if (!tag) continue;
      const size_t nameLength = storedLength(v.mDataName);
      size_t valueLength = 4;
      if (v.mDataType == eType_Double) valueLength = 8;
      else if (v.mDataType == eType_Int16) valueLength = 2;
      else if (v.mDataType == eType_String) valueLength = storedLength(v.mStringValue) + 1;
      if (size_t(position) + 2 + nameLength + 1 + valueLength > size)
        throw std::out_of_range("aborting: chunk data will overflow buffer");

      std::memcpy(body + position, tag, 2);
      position += 2;
      std::memcpy(body + position, v.mDataName.Get(), nameLength);  // NUL already zeroed
      position = align4(position + static_cast<uint32_t>(nameLength) + 1u);
      switch (v.mDataType) {
        case eType_Double: putBE(body + position, v.mIntValue, 8); position += 8; break;
        case eType_Int16: putBE(body + position, v.mIntValue & 0xFFFFu, 2); position += 4; break;
        case eType_String: {
          const size_t n = storedLength(v.mStringValue);
          std::memcpy(body + position, v.mStringValue.Get(), n);
          position = align4(position + static_cast<uint32_t>(n) + 1u);
          break;
        }
        default: putBE(body + position, v.mIntValue & 0xFFFFFFFFu, 4); position += 4; break;
      }
    }
    chunk->fSize = static_cast<int32_t>(size);
    return AAX_SUCCESS;
  } catch (const std::exception& e) {
    AAX_CHostServices::Trace(AAX_eTracePriorityHost_High, "AAX_CChunkDataParser::GetChunkData ERROR: %s", e.what());
    return BUILD_DATA_FAILED;
  } catch (...) {
    return BUILD_DATA_FAILED;
  }
}

void AAX_CChunkDataParser::LoadChunk(const AAX_SPlugInChunk* chunk) noexcept {
  Clear();
  if (!chunk) return;
  mChunkVersion = chunk->fVersion;
  const int32_t size = chunk->fSize;
  const auto* body = reinterpret_cast<const unsigned char*>(chunk->fData);
  if (size < 4) return;
  if (getBE(body, 4) != VERSION_ID_1) return;
  int32_t position = 4;

  try {
    while (position < size) {
      // Tag and name: a NUL-terminated text of at most MAX_NAME_LENGTH bytes within the body.
      const size_t limit = std::min<size_t>(MAX_NAME_LENGTH, size_t(size - position));
      const auto* text = reinterpret_cast<const char*>(body + position);
      const size_t textLength = strnlen(text, limit);
      position += static_cast<int32_t>(textLength) + 1;
      WordAlign(position);

      DataValue v;
      const char kind = textLength > 0 ? text[0] : '\0';
      // A value that would reach past the body ends the list; the entries before it stay.
      auto fits = [&](int32_t n) { return position <= size && n <= size - position; };
      switch (kind) {
        case 'd':
          if (!fits(8)) return;
          v.mIntValue = getBE(body + position, 8);
          position += 8;
          v.mDataType = eType_Double;
          break;
        case 'f':
        case 'l':
          if (!fits(4)) return;
          v.mIntValue = getBE(body + position, 4);
          position += 4;
          v.mDataType = kind == 'f' ? eType_Float : eType_Int32;
          break;
        case 's':
          if (!fits(2)) return;
          v.mIntValue = getBE(body + position, 2);
          position += 4;
          v.mDataType = eType_Int16;
          break;
        case 'r': {
          if (!fits(1)) return;
          const auto* s = reinterpret_cast<const char*>(body + position);
          const size_t n = strnlen(s, size_t(size - position));
          if (n == size_t(size - position)) return;  // no terminator inside the body
          v.mStringValue = AAX_CString(std::string(s, n));
          position += static_cast<int32_t>(n) + 1;
          WordAlign(position);
          v.mDataType = eType_String;
          break;
        }
        default:
          break;  // unknown tag: a value of no type
      }
      v.mDataName = AAX_CString(textLength > 2 ? std::string(text + 2, textLength - 2) : std::string());
      mDataValues.push_back(std::move(v));
    }
  } catch (...) {
    // Out of memory while reading: keep what was read.
  }
}

int32_t AAX_CChunkDataParser::FindName(const AAX_CString& name) {
  const int32_t count = static_cast<int32_t>(mDataValues.size());
  if (mLastFoundIndex >= count - 1) mLastFoundIndex = -1;
  auto matches = [&](int32_t i) { return std::strcmp(mDataValues[size_t(i)].mDataName.Get(), name.Get()) == 0; };
  for (int32_t i = mLastFoundIndex + 1; i < count; ++i) {
    if (matches(i)) return mLastFoundIndex = i;
  }
  for (int32_t i = 0; i <= mLastFoundIndex; ++i) {
    if (matches(i)) return mLastFoundIndex = i;
  }
  return -1;
}

AAX_CChunkDataParser::DataValue* AAX_CChunkDataParser::FindTyped(const char* name, int32_t type) {
  const int32_t i = FindName(AAX_CString(name));
  if (i < 0 || mDataValues[size_t(i)].mDataType != type) return nullptr;
  return &mDataValues[size_t(i)];
}

bool AAX_CChunkDataParser::FindDouble(const char* name, double* out) {
  const DataValue* found = FindTyped(name, eType_Double);
  if (!found) return false;
  if (out) std::memcpy(out, &found->mIntValue, sizeof(double));
  return true;
}

bool AAX_CChunkDataParser::FindFloat(const char* name, float* out) {
  const DataValue* found = FindTyped(name, eType_Float);
  if (!found) return false;
  const uint32_t bits = static_cast<uint32_t>(found->mIntValue);
  if (out) std::memcpy(out, &bits, sizeof bits);
  return true;
}

bool AAX_CChunkDataParser::FindInt32(const char* name, int32_t* out) {
  const DataValue* found = FindTyped(name, eType_Int32);
  if (!found) return false;
  if (out) *out = static_cast<int32_t>(static_cast<uint32_t>(found->mIntValue));
  return true;
}

bool AAX_CChunkDataParser::FindInt16(const char* name, int16_t* out) {
  const DataValue* found = FindTyped(name, eType_Int16);
  if (!found) return false;
  if (out) *out = static_cast<int16_t>(static_cast<uint16_t>(found->mIntValue));
  return true;
}

bool AAX_CChunkDataParser::FindString(const char* name, AAX_IString* out) {
  const DataValue* found = FindTyped(name, eType_String);
  if (!found) return false;
  if (out) out->Set(found->mStringValue.Get());
  return true;
}

bool AAX_CChunkDataParser::ReplaceDouble(const char* name, double value) {
  DataValue* found = FindTyped(name, eType_Double);
  if (!found) return false;
  std::memcpy(&found->mIntValue, &value, sizeof value);
  return true;
}

void AAX_CChunkDataParser::Clear() noexcept {
  mDataValues.clear();
  mLastFoundIndex = -1;
  mChunkVersion = -1;
}

void AAX_CChunkDataParser::WordAlign(unsigned int& position) noexcept { position = (position + 3u) & ~3u; }

void AAX_CChunkDataParser::WordAlign(int& position) noexcept {
  unsigned int p = static_cast<unsigned int>(position);
  WordAlign(p);
  position = static_cast<int>(p);
}
