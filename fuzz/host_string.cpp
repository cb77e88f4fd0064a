// Reads host-supplied text as numbers and edits it at positions taken from the input:
// nothing may read or write outside the text.
#include "AAX_CString.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  uint32_t a = 0;
  uint32_t b = 0;
  std::memcpy(&a, data, 4);
  std::memcpy(&b, data + 4, 4);
  const std::string text(reinterpret_cast<const char*>(data + 8), size - 8);

  AAX_CString s(text);
  int32_t integer = 0;
  double number = 0;
  s.ToInteger(&integer);
  s.ToDouble(&number);
  AAX_CString out;
  s.SubString(a, b, &out);
  s.FindFirst(out);
  s.FindLast(out.CString());
  s.Insert(a, out);
  s.Replace(b, a, "x");
  s.InsertHex(a, static_cast<int32_t>(b), static_cast<int32_t>(a % 100));
  s.InsertNumber(b, number, static_cast<int32_t>(b % 40));
  s.Erase(a, b);
  s[a] = 'z';
  const AAX_CString& view = s;
  volatile char sink = view[b];
  (void)sink;
  return 0;
}
