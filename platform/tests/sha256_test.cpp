#include "qm/platform/sha256.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace qm::platform;

TEST(Sha256, KnownVectors) {
  const struct {
    std::string input;
    const char* hex;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) EXPECT_EQ(sha256Hex(c.input), c.hex);
}

TEST(Sha256, PiecewiseEqualsWholeAndObjectRestartsAfterFinish) {
  std::string data;
  for (int i = 0; i < 100000; ++i) data.push_back(static_cast<char>(i * 131));
  Sha256 h;
  // Uneven pieces, including empty ones, across block boundaries.
  size_t pos = 0;
  for (size_t step = 0; pos < data.size(); step = (step * 7 + 13) % 997) {
    const size_t n = std::min(step, data.size() - pos);
    h.update(data.data() + pos, n);
    pos += n;
  }
  EXPECT_EQ(h.finishHex(), sha256Hex(data));
  h.update("abc");
  EXPECT_EQ(h.finishHex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Sha256, FileDigestAndErrors) {
  char path[] = "/tmp/qm-sha-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  std::string data(3u << 20, 'q');  // spans several read blocks
  data += "tail";
  ASSERT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  ::close(fd);
  std::string hex;
  int err = -1;
  ASSERT_TRUE(sha256File(path, hex, &err));
  EXPECT_EQ(err, 0);
  EXPECT_EQ(hex, sha256Hex(data));
  ::unlink(path);

  EXPECT_FALSE(sha256File(path, hex, &err));
  EXPECT_EQ(err, ENOENT);
  EXPECT_TRUE(hex.empty());
  EXPECT_FALSE(sha256File("/tmp", hex, &err));  // a folder cannot be read as a file
  EXPECT_EQ(err, EISDIR);
}
