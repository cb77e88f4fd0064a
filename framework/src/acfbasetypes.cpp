#include "acfbasetypes.h"

#include <cstring>

bool operator==(const _acfUID& a, const _acfUID& b) noexcept {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}
