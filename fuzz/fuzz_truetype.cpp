// Fuzz target: TrueType programs, and the look-ups text makes in them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "uPDFTrueTypeParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TPDFTrueTypeParser Parser;
  Parser.LoadFromData(std::string_view(reinterpret_cast<const char*>(Data), Size));
  for (const char* Name : {".notdef", "A", "space", ""}) Parser.AdvanceOf(Parser.GlyphIndexOfName(Name));
  Parser.AdvanceOf(65535);
  return 0;
}
