// Fuzz target: the CMap reader. The input is CMap text, read as a ToUnicode
// map and as an encoding CMap; both then split and look up the input's bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "uPDFCMap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view In(reinterpret_cast<const char*>(Data), Size);
  const TPDFCMap ToUnicode = ParseToUnicode(In);
  TPDFCMap Encoding;
  Encoding.Parse(In);
  Encoding.Finish();
  std::u32string Chars;
  uint32_t Code;
  for (size_t Pos = 0; Encoding.NextCode(In, Pos, Code);) {
    Chars.clear();
    ToUnicode.Lookup(Code, Chars);
    Encoding.Lookup(Code, Chars);
    (void)Encoding.LookupCID(Code);
  }
  return 0;
}
