// The store client's checked reads against a store that answers as told: the result code, the
// count it reports and the bytes it holds. A value counts only when the store answers success
// with at least one byte (the status record: exactly its 28); text is cut on a code point.

#include "QuillomancerStoreClient.h"

#include "AAX_CEffectParameters.h"
#include "AAX_Errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>

namespace {

class ScriptedStore : public AAX_CEffectParameters {
 public:
  AAX_Result GetCustomData(AAX_CTypeID blockId, uint32_t size, void* data, uint32_t* count) noexcept override {
    const std::string& bytes = blocks[blockId];
    const uint32_t n = std::min<uint32_t>(uint32_t(bytes.size()), size);
    if (data && n > 0) std::memcpy(data, bytes.data(), n);
    if (count) *count = reportedCount.value_or(n);
    return result;
  }
  std::map<uint32_t, std::string> blocks;
  AAX_Result result = AAX_SUCCESS;
  std::optional<uint32_t> reportedCount;  // none: the bytes copied
};

std::string StatusBytes(int32_t state, int32_t credits) {
  QuillomancerStatusRecord record;
  record.state = state;
  record.creditBalance = credits;
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

}  // namespace

TEST(StoreClientCheckedReads, TextIsPresentOnlyOnSuccessWithBytesAndIsCutOnACodePoint) {
  const std::string accent = "\xC3\xA9";  // two bytes
  const struct {
    const char* name;
    std::string stored;
    AAX_Result result;
    std::optional<std::string> expected;
  } cases[] = {
      {"short text whole", "rnd-1", AAX_SUCCESS, "rnd-1"},
      {"exactly the limit, ending in a two-byte character", std::string(8, 'a') + accent, AAX_SUCCESS,
       std::string(8, 'a') + accent},
      {"a character across the limit is left out whole", std::string(9, 'a') + accent + "tail", AAX_SUCCESS,
       std::string(9, 'a')},
      {"a longer plain text is cut at the limit", std::string(30, 'b'), AAX_SUCCESS, std::string(10, 'b')},
      {"an empty block is absent", "", AAX_SUCCESS, std::nullopt},
      {"a refused read is absent whatever it copied", "copied anyway", AAX_ERROR_INVALID_ARGUMENT, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedStore store;
    store.blocks[kQMBlock_RenderID] = c.stored;
    store.result = c.result;
    EXPECT_EQ(QuillomancerStoreClient(&store).ReadCheckedText(kQMBlock_RenderID, 10), c.expected);
  }
}

TEST(StoreClientCheckedReads, AFlagIsSetOnlyByAPresentByteThatIsNotZero) {
  const struct {
    const char* name;
    std::string stored;
    AAX_Result result;
    bool expected;
  } cases[] = {
      {"set", "\x01", AAX_SUCCESS, true},
      {"any byte but zero", "\x7F", AAX_SUCCESS, true},
      {"zero", std::string(1, '\0'), AAX_SUCCESS, false},
      {"no byte reported", "", AAX_SUCCESS, false},
      {"a refused read", "\x01", AAX_ERROR_INVALID_ARGUMENT, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedStore store;
    store.blocks[kQMBlock_RepairPreview] = c.stored;
    store.result = c.result;
    EXPECT_EQ(QuillomancerStoreClient(&store).ReadCheckedFlag(kQMBlock_RepairPreview), c.expected);
  }
}

TEST(StoreClientCheckedReads, TheStatusRecordCountsOnlyWithExactlyItsBytes) {
  ScriptedStore store;
  store.blocks[kQMBlock_Status] = StatusBytes(kQuillomancerState_HasTakes, 42);
  const QuillomancerStoreClient client(&store);
  const auto record = client.ReadCheckedStatus();
  ASSERT_TRUE(record);
  EXPECT_EQ(record->state, kQuillomancerState_HasTakes);
  EXPECT_EQ(record->creditBalance, 42);

  store.reportedCount = kQMStatusRecordSize - 1;
  EXPECT_FALSE(client.ReadCheckedStatus()) << "a short record";
  store.reportedCount.reset();
  store.result = AAX_ERROR_INVALID_ARGUMENT;
  EXPECT_FALSE(client.ReadCheckedStatus()) << "a refused read";
}

TEST(StoreClientCheckedReads, WithoutAStoreEveryReadIsAbsent) {
  const QuillomancerStoreClient client;
  EXPECT_FALSE(client.ReadCheckedText(kQMBlock_ErrorText, kQMReadLimit_ErrorText));
  EXPECT_FALSE(client.ReadCheckedFlag(kQMBlock_NewAudioLoaded));
  EXPECT_FALSE(client.ReadCheckedStatus());
}
