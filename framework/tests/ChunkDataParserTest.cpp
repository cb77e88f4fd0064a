#include "AAX_CChunkDataParser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A chunk record in a buffer of exactly header + body bytes, so that any read past the
// declared body lands outside the allocation (the address sanitizer reports it).
class ChunkBuffer {
public:
  explicit ChunkBuffer(uint32_t bodySize) : mBytes(56 + bodySize, 0xCC) {
    auto* c = get();
    c->fSize = static_cast<int32_t>(bodySize);
    c->fVersion = 0;
  }
  static ChunkBuffer FromBody(const std::vector<unsigned char>& body) {
    ChunkBuffer b(static_cast<uint32_t>(body.size()));
    if (!body.empty()) std::memcpy(b.mBytes.data() + 56, body.data(), body.size());
    return b;
  }
  AAX_SPlugInChunk* get() { return reinterpret_cast<AAX_SPlugInChunk*>(mBytes.data()); }
  std::vector<unsigned char> body() const {
    int32_t size;
    std::memcpy(&size, mBytes.data(), 4);
    return std::vector<unsigned char>(mBytes.begin() + 56, mBytes.begin() + 56 + size);
  }

private:
  std::vector<unsigned char> mBytes;
};

std::vector<unsigned char> Save(const AAX_CChunkDataParser& parser) {
  ChunkBuffer buffer(parser.GetChunkDataSize());
  EXPECT_EQ(parser.GetChunkData(buffer.get()), 0);
  EXPECT_EQ(buffer.get()->fSize, static_cast<int32_t>(parser.GetChunkDataSize()));
  return buffer.body();
}

using Bytes = std::vector<unsigned char>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Text(const char* s) { return Bytes(s, s + std::strlen(s)); }

const Bytes kVersion = {0x01, 0x01, 0x01, 0x01};

}  // namespace

TEST(ChunkDataParser, EmptyListIsTheVersionWordAlone) {
  AAX_CChunkDataParser parser;
  EXPECT_EQ(parser.GetChunkDataSize(), 4u);
  EXPECT_EQ(Save(parser), kVersion);

  ChunkBuffer chunk = ChunkBuffer::FromBody(kVersion);
  chunk.get()->fVersion = 7;
  parser.AddInt32("x", 1);
  parser.LoadChunk(chunk.get());
  EXPECT_TRUE(parser.IsEmpty());
  EXPECT_EQ(parser.GetChunkVersion(), 7);
  parser.Clear();
  EXPECT_EQ(parser.GetChunkVersion(), -1);
}

// Every entry laid out byte for byte: tag, name, NUL, zero padding, big-endian value.
TEST(ChunkDataParser, EntriesAreLaidOutByteForByte) {
  struct Case {
    const char* what;
    void (*add)(AAX_CChunkDataParser&);
    Bytes entry;
  };
  const Case cases[] = {
      {"int32 under a four-character name", [](AAX_CChunkDataParser& p) { p.AddInt32("abcd", 1); },
       Concat({Text("l_abcd"), {0, 0}, {0, 0, 0, 1}})},
      {"one-character name uses 4 bytes", [](AAX_CChunkDataParser& p) { p.AddInt32("a", -1); },
       Concat({Text("l_a"), {0}, {0xFF, 0xFF, 0xFF, 0xFF}})},
      {"two-character name uses 5, padded to 8", [](AAX_CChunkDataParser& p) { p.AddInt32("ab", 0x01020304); },
       Concat({Text("l_ab"), {0, 0, 0, 0}, {1, 2, 3, 4}})},
      {"float 1.0", [](AAX_CChunkDataParser& p) { p.AddFloat("g", 1.0f); },
       Concat({Text("f_g"), {0}, {0x3F, 0x80, 0, 0}})},
      {"double 1.0", [](AAX_CChunkDataParser& p) { p.AddDouble("g", 1.0); },
       Concat({Text("d_g"), {0}, {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}})},
      {"int16 -2", [](AAX_CChunkDataParser& p) { p.AddInt16("g", -2); },
       Concat({Text("s_g"), {0}, {0xFF, 0xFE, 0, 0}})},
      {"string of three characters, no padding", [](AAX_CChunkDataParser& p) { p.AddString("g", "abc"); },
       Concat({Text("r_g"), {0}, Text("abc"), {0}})},
      {"string of two characters, one padding byte", [](AAX_CChunkDataParser& p) { p.AddString("g", "ab"); },
       Concat({Text("r_g"), {0}, Text("ab"), {0, 0}})},
      {"empty string", [](AAX_CChunkDataParser& p) { p.AddString("g", ""); },
       Concat({Text("r_g"), {0}, {0, 0, 0, 0}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AAX_CChunkDataParser parser;
    c.add(parser);
    const Bytes expected = Concat({kVersion, c.entry});
    EXPECT_EQ(parser.GetChunkDataSize(), expected.size());
    EXPECT_EQ(Save(parser), expected);
  }
}

TEST(ChunkDataParser, SaveLoadSaveGivesIdenticalBytesAndValues) {
  AAX_CChunkDataParser parser;
  parser.AddString("take", "ab");
  parser.AddInt16("short", -2);
  parser.AddDouble("gain", -6.25);
  parser.AddFloat("mix", 0.5f);
  parser.AddInt32("count", -123456);
  parser.AddString("three", "xyz");
  const Bytes first = Save(parser);

  ChunkBuffer chunk = ChunkBuffer::FromBody(first);
  AAX_CChunkDataParser loaded;
  loaded.LoadChunk(chunk.get());
  ASSERT_EQ(loaded.Values().size(), 6u);  // exactly the values written, no more
  EXPECT_EQ(Save(loaded), first);

  AAX_CString text;
  int16_t s = 0;
  double d = 0;
  float f = 0;
  int32_t i = 0;
  EXPECT_TRUE(loaded.FindString("take", &text));
  EXPECT_EQ(text, "ab");
  EXPECT_TRUE(loaded.FindInt16("short", &s));
  EXPECT_EQ(s, -2);
  EXPECT_TRUE(loaded.FindDouble("gain", &d));
  EXPECT_EQ(d, -6.25);
  EXPECT_TRUE(loaded.FindFloat("mix", &f));
  EXPECT_EQ(f, 0.5f);
  EXPECT_TRUE(loaded.FindInt32("count", &i));
  EXPECT_EQ(i, -123456);
  EXPECT_TRUE(loaded.FindString("three", &text));
  EXPECT_EQ(text, "xyz");
}

TEST(ChunkDataParser, LookUpsCheckTheTypeAndLeaveOutputAlone) {
  AAX_CChunkDataParser parser;
  parser.AddInt16("v", -2);
  int32_t i = 99;
  double d = 99;
  EXPECT_FALSE(parser.FindInt32("v", &i));
  EXPECT_FALSE(parser.FindDouble("missing", &d));
  EXPECT_EQ(i, 99);
  EXPECT_EQ(d, 99);
  EXPECT_FALSE(parser.ReplaceDouble("v", 1.0));
  parser.AddDouble("d", 1.0);
  EXPECT_TRUE(parser.ReplaceDouble("d", 2.5));
  EXPECT_TRUE(parser.FindDouble("d", &d));
  EXPECT_EQ(d, 2.5);
}

TEST(ChunkDataParser, DuplicateNamesAlternateStartingWithTheFirst) {
  AAX_CChunkDataParser parser;
  parser.AddInt32("dup", 1);
  parser.AddInt32("other", 5);
  parser.AddInt32("dup", 2);
  int32_t v = 0;
  std::vector<int32_t> seen;
  for (int n = 0; n < 4; ++n) {
    ASSERT_TRUE(parser.FindInt32("dup", &v));
    seen.push_back(v);
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 1, 2}));
  EXPECT_EQ(parser.FindName("nothing"), -1);
}

TEST(ChunkDataParser, UnreadableBodiesLoadAsEmpty) {
  const std::vector<Bytes> bodies = {
      {},                                       // no body
      {0x01, 0x01, 0x01},                       // shorter than the version word
      Concat({{0, 0, 0, 0}, Text("l_a"), {0}, {0, 0, 0, 1}}),  // wrong version word
  };
  for (const Bytes& body : bodies) {
    ChunkBuffer chunk = ChunkBuffer::FromBody(body);
    AAX_CChunkDataParser parser;
    parser.LoadChunk(chunk.get());
    EXPECT_TRUE(parser.IsEmpty());
    int32_t v;
    EXPECT_FALSE(parser.FindInt32("a", &v));
  }
  AAX_CChunkDataParser parser;
  parser.LoadChunk(nullptr);
  EXPECT_TRUE(parser.IsEmpty());

  ChunkBuffer negative = ChunkBuffer::FromBody(kVersion);
  negative.get()->fSize = -8;
  parser.LoadChunk(negative.get());
  EXPECT_TRUE(parser.IsEmpty());
}

TEST(ChunkDataParser, UnknownTagGivesAValueNoTypedLookUpFinds) {
  const Bytes body = Concat({kVersion, Text("x_odd"), {0, 0, 0}, Text("l_ok"), {0, 0, 0, 0}, {0, 0, 0, 7}});
  ChunkBuffer chunk = ChunkBuffer::FromBody(body);
  AAX_CChunkDataParser parser;
  parser.LoadChunk(chunk.get());
  int32_t v = 0;
  EXPECT_FALSE(parser.FindInt32("odd", &v));
  EXPECT_GE(parser.FindName("odd"), 0);
  EXPECT_TRUE(parser.FindInt32("ok", &v));
  EXPECT_EQ(v, 7);
}

// A body cut anywhere is read only up to its declared size; the entries before the cut stay.
TEST(ChunkDataParser, TruncatedBodiesNeverReadPastTheirSize) {
  AAX_CChunkDataParser parser;
  parser.AddInt32("first", 11);
  parser.AddDouble("second", 2.0);
  parser.AddString("third", "hello");
  parser.AddInt16("fourth", 4);
  const Bytes full = Save(parser);
  for (size_t cut = 0; cut < full.size(); ++cut) {
    SCOPED_TRACE(cut);
    ChunkBuffer chunk = ChunkBuffer::FromBody(Bytes(full.begin(), full.begin() + cut));
    AAX_CChunkDataParser loaded;
    loaded.LoadChunk(chunk.get());
    int32_t first = 0;
    if (cut >= 16) {
      EXPECT_TRUE(loaded.FindInt32("first", &first));
      EXPECT_EQ(first, 11);
    } else {
      EXPECT_FALSE(loaded.FindInt32("first", &first));
    }
    double second = 0;
    EXPECT_EQ(loaded.FindDouble("second", &second), cut >= 16 + 20);
    AAX_CString third;
    if (loaded.FindString("third", &third)) {
      EXPECT_EQ(third, "hello");
    }
  }
}

TEST(ChunkDataParser, NamesLongerThanTheLimitAreCut) {
  const std::string longName(300, 'n');
  Bytes body = kVersion;
  Bytes text = Text(("l_" + longName).c_str());
  body.insert(body.end(), text.begin(), text.end());
  body.push_back(0);
  while (body.size() % 4) body.push_back(0);
  body.insert(body.end(), {0, 0, 0, 1});
  ChunkBuffer chunk = ChunkBuffer::FromBody(body);
  AAX_CChunkDataParser parser;
  parser.LoadChunk(chunk.get());
  ASSERT_FALSE(parser.IsEmpty());
  EXPECT_EQ(parser.Values().front().mDataName.Length(), 253u);  // 255 minus the tag
  EXPECT_EQ(parser.Values().front().mDataType, AAX_CChunkDataParser::eType_Int32);
}

TEST(ChunkDataParser, WordAlignRoundsUpToMultiplesOfFour) {
  const std::pair<int, int> table[] = {{0, 0}, {1, 4}, {3, 4}, {4, 4}, {5, 8}, {13, 16}};
  for (auto [in, out] : table) {
    int s = in;
    unsigned u = static_cast<unsigned>(in);
    AAX_CChunkDataParser::WordAlign(s);
    AAX_CChunkDataParser::WordAlign(u);
    EXPECT_EQ(s, out);
    EXPECT_EQ(u, static_cast<unsigned>(out));
  }
}

TEST(ChunkDataParser, NullRecordIsRefused) {
  AAX_CChunkDataParser parser;
  EXPECT_EQ(parser.GetChunkData(nullptr), -333);
}
