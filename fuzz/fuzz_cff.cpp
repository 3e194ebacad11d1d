// Fuzz target: CFF programs (the bytes of a FontFile3 stream).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "uPDFType1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TPDFType1Decoder Decoder;
  Decoder.LoadCFFProgram(std::string_view(reinterpret_cast<const char*>(Data), Size));
  return 0;
}
