#pragma once
// The longest-common-subsequence machinery shared by the word diff and the token alignment:
// units become small integer ids once per call, and a bit-parallel table (one bit per unit of
// the second sequence per row) answers the table lookups of the walk.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::editor {

inline constexpr std::uint32_t kNoUnitId = UINT32_MAX;

inline std::uint32_t HashUnit(std::string_view unit) {
  std::uint64_t h = 0xCBF29CE484222325ull ^ unit.size();
  for (const char c : unit) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

// Byte equality, without a library call for the short units that words and spaces are.
inline bool SameUnit(std::string_view x, std::string_view y) {
  if (x.size() != y.size()) return false;
  if (x.size() > 16) return x == y;
  for (std::size_t k = 0; k < x.size(); ++k)
    if (x[k] != y[k]) return false;
  return true;
}

// Gives equal units equal ids: the distinct units of `b` get 0..k-1 (k is returned), units of
// `a` the id of their equal in `b`, or kNoUnitId when `b` has none. `keyA(i)` and `keyB(j)`
// give the bytes of a unit.
template <typename KeyA, typename KeyB>
std::size_t AssignUnitIds(std::size_t n, KeyA keyA, std::size_t m, KeyB keyB,
                          std::vector<std::uint32_t>& idsA, std::vector<std::uint32_t>& idsB) {
  // Open addressing, at most half full: each slot holds a key of `b` as the position of its
  // first occurrence, plus one (0: empty).
  struct Slot {
    std::uint32_t hash;
    std::uint32_t first;
  };
  std::size_t mask = 15;
  while (mask < 2 * m) mask = mask * 2 + 1;
  // The texts of one call are short: their table lives on the stack.
  Slot local[512];
  std::vector<Slot> large;
  Slot* slots = local;
  if (mask + 1 > std::size(local)) {
    large.resize(mask + 1);
    slots = large.data();
  }
  std::memset(static_cast<void*>(slots), 0, (mask + 1) * sizeof(Slot));
  auto find = [&](std::string_view unit, std::uint32_t hash) -> Slot& {
    for (std::size_t h = hash & mask;; h = (h + 1) & mask) {
      Slot& slot = slots[h];
      if (slot.first == 0 || (slot.hash == hash && SameUnit(keyB(slot.first - 1), unit))) return slot;
    }
  };
  std::size_t alphabet = 0;
  idsB.resize(m);
  for (std::size_t j = 0; j < m; ++j) {
    const std::uint32_t hash = HashUnit(keyB(j));
    Slot& slot = find(keyB(j), hash);
    if (slot.first == 0) {
      slot = Slot{hash, static_cast<std::uint32_t>(j + 1)};
      idsB[j] = static_cast<std::uint32_t>(alphabet++);
    } else {
      idsB[j] = idsB[slot.first - 1];
    }
  }
  idsA.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Slot& slot = find(keyA(i), HashUnit(keyA(i)));
    idsA[i] = slot.first == 0 ? kNoUnitId : idsB[slot.first - 1];
  }
  return alphabet;
}

using UnitPairs = std::vector<std::pair<std::size_t, std::size_t>>;

// The common subsequence that this walk finds, over the table L(i, j) of the lengths of longest
// common subsequences of a[0..i) and b[0..j): from i = |a|, j = |b|, while both are above 0,
// equal units a[i-1], b[j-1] are matched at once (both step back); otherwise b steps back when
// L(i-1, j) < L(i, j-1), and a steps back on a tie or when the upper entry is larger. The
// matched (i-1, j-1) pairs are returned last first. `alphabet` bounds the ids of `b`.
UnitPairs WalkBackCommonSubsequence(const std::vector<std::uint32_t>& a,
                                    const std::vector<std::uint32_t>& b, std::size_t alphabet);

}  // namespace qm::editor
