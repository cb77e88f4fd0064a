#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "QuillomancerCustomDataStore.h"

namespace {

using Store = QuillomancerCustomDataStore;

std::string ReadString(const Store& store, uint32_t id, uint32_t size = 4096) {
  std::vector<char> buffer(size);
  uint32_t n = 0;
  EXPECT_EQ(store.Get(id, size, buffer.data(), &n), 0);
  return std::string(buffer.data(), n);
}

int ReadByte(const Store& store, uint32_t id) {
  uint8_t b = 0xEE;
  uint32_t n = 0;
  EXPECT_EQ(store.Get(id, 1, &b, &n), 0);
  EXPECT_EQ(n, 1u);
  return b;
}

std::vector<int32_t> ReadStatus(const Store& store) {
  std::vector<int32_t> record(7, -1);
  uint32_t n = 0;
  EXPECT_EQ(store.Get(kQMBlock_Status, 28, record.data(), &n), 0);
  EXPECT_EQ(n, 28u);
  return record;
}

// One row per string block: every byte kept, an empty write (size 0 or no data) clears.
TEST(CustomDataStore, StringBlocksStoreAllBytesAndClearOnEmptyWrite) {
  const uint32_t ids[] = {kQMBlock_AccessToken, kQMBlock_ErrorText, kQMBlock_RenderID,
                          kQMBlock_TranscriptPayload, kQMBlock_TranscriptionLanguage,
                          kQMBlock_GenerationLanguage, kQMBlock_RepairPlan};
  for (uint32_t id : ids) {
    Store store;
    const std::string value("a\0b\xFF" "c", 5);  // any bytes, no terminator added
    EXPECT_EQ(store.Set(id, uint32_t(value.size()), value.data()), 0);
    EXPECT_EQ(ReadString(store, id), value) << std::hex << id;
    EXPECT_EQ(store.Set(id, 0, value.data()), 0);
    EXPECT_EQ(ReadString(store, id), "");
    store.Set(id, 3, "xyz");
    EXPECT_EQ(store.Set(id, 3, nullptr), 0);
    EXPECT_EQ(ReadString(store, id), "");
  }
}

struct ByteRule {
  const char* name;
  uint32_t id;
  int initial;
  std::vector<std::pair<int, int>> writes;  // written byte (-1 = empty write) -> value read after
};

// The key table's byte blocks, each with its write rule.
TEST(CustomDataStore, ByteBlocksFollowTheirWriteRules) {
  const ByteRule rules[] = {
      {"QMlc", kQMBlock_LineChange, 0, {{7, 7}, {-1, 7}, {0, 0}}},
      {"QMat", kQMBlock_Variation, 0, {{7, 1}, {0, 0}, {9, 1}, {-1, 0}}},
      {"QMmd", kQMBlock_Mode, 0, {{2, 2}, {3, 2}, {255, 2}, {1, 1}, {-1, 0}}},
      {"QMtk", kQMBlock_Takes, 3, {{5, 5}, {2, 5}, {4, 5}, {0, 5}, {1, 1}, {-1, 1}, {3, 3}}},
      {"QMul", kQMBlock_CompatibilityLock, 0, {{9, 9}, {-1, 0}}},
      {"QMtq", kQMBlock_TranscribeRequest, 0, {{9, 1}, {-1, 0}}},
      {"QMrv", kQMBlock_RepairPreview, 0, {{200, 1}, {0, 0}, {1, 1}, {-1, 0}}},
      {"QMlr", kQMBlock_NewAudioLoaded, 0, {{3, 1}, {-1, 0}}},
  };
  for (const auto& rule : rules) {
    Store store;
    EXPECT_EQ(ReadByte(store, rule.id), rule.initial) << rule.name;
    for (const auto& [written, expected] : rule.writes) {
      if (written < 0) {
        EXPECT_EQ(store.Set(rule.id, 0, nullptr), 0);
      } else {
        const uint8_t b = uint8_t(written);
        EXPECT_EQ(store.Set(rule.id, 1, &b), 0);
      }
      EXPECT_EQ(ReadByte(store, rule.id), expected) << rule.name << " after writing " << written;
    }
  }
}

TEST(CustomDataStore, UnknownIdentifierAndTimelineWriteAnswerInvalidArgument) {
  Store store;
  uint8_t b = 1;
  uint32_t n = 77;
  EXPECT_EQ(store.Get(QMBlockID("QMzz"), 1, &b, &n), -20043);
  EXPECT_EQ(n, 77u);  // nothing reported
  EXPECT_EQ(store.Set(QMBlockID("QMzz"), 1, &b), -20043);
  uint8_t block[24] = {};
  EXPECT_EQ(store.Set(kQMBlock_TimelineSelection, 24, block), -20043);
}

TEST(CustomDataStore, TextIsCutToTwoHundredCodePointsOnAUtf8Boundary) {
  struct Case {
    const char* name;
    std::string written;
    size_t keptBytes;
  };
  const std::string threeByte = "\xE2\x82\xAC";  // euro sign
  std::string s150, s250;
  for (int i = 0; i < 150; ++i) s150 += threeByte;
  for (int i = 0; i < 250; ++i) s250 += threeByte;
  const Case cases[] = {
      {"250 ascii", std::string(250, 'a'), 200},
      {"150 three-byte", s150, 450},
      {"250 three-byte", s250, 600},
      {"199 ascii then a cut lead byte", std::string(199, 'a') + "\xC3", 199},
      {"invalid byte stops", std::string("abc\xFF" "def"), 3},
      {"overlong lead C0", std::string("ab\xC0\x80"), 2},
      {"surrogate ED A0", std::string("a\xED\xA0\x80"), 1},
      {"E0 needs A0", std::string("a\xE0\x9F\x80"), 1},
      {"F0 needs 90", std::string("a\xF0\x8F\x80\x80"), 1},
      {"F4 at most 8F", std::string("a\xF4\x90\x80\x80" "b"), 1},
      {"four-byte ok", std::string("\xF0\x9F\x98\x80" "z"), 5},
      {"bad continuation", std::string("x\xC3" "A"), 1},
  };
  for (const auto& c : cases) {
    for (uint32_t id : {kQMBlock_Text, kQMBlock_ReferenceText}) {
      Store store;
      EXPECT_EQ(store.Set(id, uint32_t(c.written.size()), c.written.data()), 0);
      EXPECT_EQ(ReadString(store, id), c.written.substr(0, c.keptBytes)) << c.name;
    }
  }
  EXPECT_EQ(QMUTF8PrefixBytesForCodepointLimit(nullptr, 5, 200), 0u);
  EXPECT_EQ(QMUTF8PrefixBytesForCodepointLimit("abc", 3, 0), 0u);
  EXPECT_EQ(QMUTF8PrefixBytesForCodepointLimit("abc", 3, 2), 2u);
}

TEST(CustomDataStore, StringReadCopiesAtMostTheBufferAndReportsTheCount) {
  Store store;
  const std::string thirty(30, 'q');
  store.Set(kQMBlock_ErrorText, 30, thirty.data());
  char buffer[10];
  uint32_t n = 0;
  EXPECT_EQ(store.Get(kQMBlock_ErrorText, 10, buffer, &n), 0);
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(std::string(buffer, 10), std::string(10, 'q'));
  // No buffer: only the count, computed from the size given.
  EXPECT_EQ(store.Get(kQMBlock_ErrorText, 100, nullptr, &n), 0);
  EXPECT_EQ(n, 30u);
  EXPECT_EQ(store.Get(kQMBlock_ErrorText, 0, nullptr, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(store.Get(kQMBlock_ErrorText, 10, buffer, nullptr), 0);  // outSize may be null
}

TEST(CustomDataStore, StatusRecordKeepsSixFieldsAndShowsTakesRequested) {
  Store store;
  const int32_t written[7] = {3, 2, 99, 4, 120, 1, 18};
  EXPECT_EQ(store.Set(kQMBlock_Status, 28, written), 0);
  EXPECT_EQ(ReadStatus(store), (std::vector<int32_t>{3, 2, 3, 4, 120, 1, 18}));

  const uint8_t two = 2, five = 5;
  store.Set(kQMBlock_Takes, 1, &two);  // refused
  EXPECT_EQ(ReadStatus(store)[2], 3);
  store.Set(kQMBlock_Takes, 1, &five);
  EXPECT_EQ(ReadStatus(store)[2], 5);

  // A short write is ignored.
  const int32_t other[7] = {4, 4, 4, 4, 4, 4, 4};
  EXPECT_EQ(store.Set(kQMBlock_Status, 27, other), 0);
  EXPECT_EQ(store.Set(kQMBlock_Status, 0, nullptr), 0);
  EXPECT_EQ(ReadStatus(store)[0], 3);

  // A 27-byte buffer copies nothing but reports 28.
  std::vector<uint8_t> small(27, 0xAB);
  uint32_t n = 0;
  EXPECT_EQ(store.Get(kQMBlock_Status, 27, small.data(), &n), 0);
  EXPECT_EQ(n, 28u);
  EXPECT_EQ(small, std::vector<uint8_t>(27, 0xAB));
}

TEST(CustomDataStore, ByteBlockReadWithSizeZeroCopiesNothingButReportsOne) {
  Store store;
  uint8_t b = 0x55;
  uint32_t n = 0;
  EXPECT_EQ(store.Get(kQMBlock_Takes, 0, &b, &n), 0);
  EXPECT_EQ(b, 0x55);
  EXPECT_EQ(n, 1u);
}

TEST(CustomDataStore, TimelineSelectionIsComputedOnEveryRead) {
  Store store;
  uint8_t block[24];
  uint32_t n = 0;
  std::memset(block, 0xAB, sizeof block);
  EXPECT_EQ(store.Get(kQMBlock_TimelineSelection, 24, block, &n), 0);  // no reader: zeros
  EXPECT_EQ(n, 24u);
  EXPECT_EQ(std::vector<uint8_t>(block, block + 24), std::vector<uint8_t>(24, 0));

  Store::TimelineSelection selection{1000, 49000, true};
  auto reader = [&] { return selection; };
  EXPECT_EQ(store.Get(kQMBlock_TimelineSelection, 24, block, &n, reader), 0);
  int64_t start = 0, end = 0;
  std::memcpy(&start, block, 8);
  std::memcpy(&end, block + 8, 8);
  EXPECT_EQ(start, 1000);
  EXPECT_EQ(end, 49000);
  EXPECT_EQ(block[16], 1);
  for (int i = 17; i < 24; ++i) EXPECT_EQ(block[i], 0);

  selection = {5000, 5000, true};  // end not after start
  std::memset(block, 0xAB, sizeof block);
  store.Get(kQMBlock_TimelineSelection, 24, block, &n, reader);
  EXPECT_EQ(std::vector<uint8_t>(block, block + 24), std::vector<uint8_t>(24, 0));

  std::memset(block, 0xAB, sizeof block);
  store.Get(kQMBlock_TimelineSelection, 23, block, &n, reader);
  EXPECT_EQ(block[0], 0xAB);
  EXPECT_EQ(n, 24u);
}

// Host threads and the main thread use the store at once; run under ThreadSanitizer.
TEST(CustomDataStore, ConcurrentReadersAndWritersDoNotRace) {
  Store store;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&store, t] {
      std::string text(50 + t * 30, char('a' + t));
      char buffer[1024];
      for (int i = 0; i < 2000; ++i) {
        store.Set(kQMBlock_Text, uint32_t(text.size()), text.data());
        uint32_t n = 0;
        store.Get(kQMBlock_Text, sizeof buffer, buffer, &n);
        ASSERT_GE(n, 50u);
        // A read never mixes two writes.
        for (uint32_t k = 1; k < n; ++k) ASSERT_EQ(buffer[k], buffer[0]);
        const int32_t status[7] = {i, 0, 0, 0, t, 0, 0};
        store.Set(kQMBlock_Status, 28, status);
        int32_t back[7];
        store.Get(kQMBlock_Status, 28, back, &n);
      }
    });
  }
  for (auto& thread : threads) thread.join();
}

}  // namespace
