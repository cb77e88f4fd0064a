#include "QMCommonSubsequence.h"

#include <algorithm>
#include <memory>

#if defined(__x86_64__)
#include <x86intrin.h>
#endif


namespace qm::editor {

namespace {

// *sum = x + y + carryIn; answers the carry out.
inline unsigned char AddWithCarry(unsigned char carryIn, std::uint64_t x, std::uint64_t y, std::uint64_t* sum) {
#if defined(__x86_64__)
  unsigned long long out;
  const unsigned char carry = _addcarry_u64(carryIn, x, y, &out);
  *sum = out;
  return carry;
#else
  const std::uint64_t partial = x + y;
  *sum = partial + carryIn;
  return static_cast<unsigned char>((partial < x) | (*sum < partial));
#endif
}

// The table of a walk, one bit per entry. For row i and j = 0..|b|:
//   across(i, j) = L(i, j+1) - L(i, j), kept as its complement (row 0 all ones), and
//   down(i, j)   = L(i, j) - L(i-1, j).
// Row i follows from row i-1 and the positions in `b` of a[i-1] with one add-with-carry per
// machine word (four words per row at 200 units): the sum gives the complement of across, and
// the carry into bit j is down(i, j). A unit that `b` lacks leaves across as it was and down all
// zero; such rows are not stored.
class BitTable {
 public:
  BitTable(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b,
           std::size_t alphabet)
      : words_(b.size() / 64 + 1), rowOf_(a.size() + 1, 0) {
    std::size_t rows = 1;
    for (const std::uint32_t id : a) rows += id != kNoUnitId;
    // Only the positions start out as zeros; every row is written in full before it is read.
    bits_ = std::make_unique_for_overwrite<std::uint64_t[]>((alphabet + 2 * rows) * words_);
    std::uint64_t* positions = bits_.get();
    std::fill(positions, positions + alphabet * words_, std::uint64_t{0});
    for (std::size_t j = 0; j < b.size(); ++j)
      positions[b[j] * words_ + j / 64] |= std::uint64_t{1} << (j % 64);
    across_ = positions + alphabet * words_;
    down_ = across_ + rows * words_;
    for (std::size_t w = 0; w < words_; ++w) across_[w] = ~std::uint64_t{0};
    std::size_t stored = 0;
    for (std::size_t i = 1; i <= a.size(); ++i) {
      if (a[i - 1] == kNoUnitId) {
        rowOf_[i] = stored | kUnchanged;
        continue;
      }
      const std::uint64_t* above = across_ + stored * words_;
      const std::uint64_t* match = positions + a[i - 1] * words_;
      rowOf_[i] = ++stored;
      std::uint64_t* row = across_ + stored * words_;
      std::uint64_t* down = down_ + stored * words_;
      unsigned char carry = 0;
      for (std::size_t w = 0; w < words_; ++w) {
        const std::uint64_t v = above[w];
        const std::uint64_t u = v & match[w];
        std::uint64_t total;
        carry = AddWithCarry(carry, v, u, &total);
        row[w] = total | (v & ~u);
        down[w] = total ^ v ^ u;
      }
    }
  }

  bool Across(std::size_t i, std::size_t j) const {
    return !Bit(across_, rowOf_[i] & ~kUnchanged, j);
  }
  bool Down(std::size_t i, std::size_t j) const {
    return !(rowOf_[i] & kUnchanged) && Bit(down_, rowOf_[i], j);
  }

 private:
  static constexpr std::size_t kUnchanged = std::size_t{1} << (sizeof(std::size_t) * 8 - 1);

  bool Bit(const std::uint64_t* rows, std::size_t row, std::size_t j) const {
    return (rows[row * words_ + j / 64] >> (j % 64)) & 1;
  }

  std::size_t words_;                // one more bit than `b` has units, for down(i, |b|)
  std::vector<std::size_t> rowOf_;   // the stored row of every i, flagged when unchanged
  std::unique_ptr<std::uint64_t[]> bits_;  // the positions in `b` of every id, then the two tables
  std::uint64_t* across_ = nullptr;
  std::uint64_t* down_ = nullptr;
};

}  // namespace

UnitPairs WalkBackCommonSubsequence(const std::vector<std::uint32_t>& a,
                                    const std::vector<std::uint32_t>& b, std::size_t alphabet) {
  UnitPairs pairs;
  std::size_t i = a.size();
  std::size_t j = b.size();
  if (i == 0 || j == 0) return pairs;
  pairs.reserve(std::min(i, j));
  const BitTable table(a, b, alphabet);
  while (i > 0 && j > 0) {
    if (a[i - 1] == b[j - 1]) {
      pairs.emplace_back(--i, --j);
    } else if (table.Down(i, j) && !table.Across(i, j - 1)) {
      // L(i-1, j) = L(i, j) - 1 < L(i, j-1) = L(i, j)
      --j;
    } else {
      --i;
    }
  }
  return pairs;
}

}  // namespace qm::editor
