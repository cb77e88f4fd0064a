// A chunk body from arbitrary bytes, in a record exactly as large as its declared size: the
// reader must stay inside it, keep only typed values a save can write again, and the
// data-model base must restore and compare it without trouble.

#include "AAX_CBinaryDisplayDelegate.h"
#include "AAX_CBinaryTaperDelegate.h"
#include "AAX_CChunkDataParser.h"
#include "AAX_CEffectParameters.h"
#include "AAX_CParameter.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<unsigned char> Record(const std::uint8_t* body, std::size_t size) {
  std::vector<unsigned char> bytes(kAAX_SPlugInChunkHeaderSize + size);
  auto* chunk = reinterpret_cast<AAX_SPlugInChunk*>(bytes.data());
  chunk->fSize = static_cast<int32_t>(size);
  chunk->fVersion = -1;
  chunk->fChunkID = cControlsChunkID;
  if (size) std::memcpy(bytes.data() + kAAX_SPlugInChunkHeaderSize, body, size);
  return bytes;
}

class Parameters : public AAX_CEffectParameters {
public:
  AAX_Result EffectInit() override {
    for (const char* id : {"MasterBypassID", "a", "PreviewID"}) {
      mParameterManager.AddParameter(new AAX_CParameter<bool>(id, AAX_CString(id), false,
                                                              AAX_CBinaryTaperDelegate<bool>(),
                                                              AAX_CBinaryDisplayDelegate<bool>("off", "on"), true));
    }
    return 0;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<unsigned char> bytes = Record(data, size);
  auto* chunk = reinterpret_cast<AAX_SPlugInChunk*>(bytes.data());

  AAX_CChunkDataParser parser;
  parser.LoadChunk(chunk);
  for (const auto& value : parser.Values()) {
    double d;
    float f;
    int32_t i;
    int16_t s;
    AAX_CString text;
    const char* name = value.mDataName.Get();
    parser.FindDouble(name, &d);
    parser.FindFloat(name, &f);
    parser.FindInt32(name, &i);
    parser.FindInt16(name, &s);
    parser.FindString(name, &text);
  }

  // Saving what was read and reading it back gives the same typed values.
  std::vector<unsigned char> saved(kAAX_SPlugInChunkHeaderSize + parser.GetChunkDataSize());
  auto* again = reinterpret_cast<AAX_SPlugInChunk*>(saved.data());
  if (parser.GetChunkData(again) != 0) std::abort();
  AAX_CChunkDataParser reread;
  reread.LoadChunk(again);
  size_t typed = 0;
  for (const auto& value : parser.Values()) {
    if (value.mDataType == AAX_CChunkDataParser::eType_None) continue;
    if (typed >= reread.Values().size()) std::abort();
    const auto& other = reread.Values()[typed++];
    if (other.mDataType != value.mDataType || other.mIntValue != value.mIntValue ||
        std::strcmp(other.mDataName.Get(), value.mDataName.Get()) != 0 ||
        std::strcmp(other.mStringValue.Get(), value.mStringValue.Get()) != 0)
      std::abort();
  }
  if (typed != reread.Values().size()) std::abort();

  static Parameters* parameters = [] {
    auto* p = new Parameters;
    p->Initialize(nullptr);
    return p;
  }();
  uint8_t equal = 0;
  parameters->CompareActiveChunk(chunk, &equal);
  parameters->SetChunk(cControlsChunkID, chunk);
  return 0;
}
