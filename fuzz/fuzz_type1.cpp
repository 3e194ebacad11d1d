// Fuzz target: Type 1 programs. The first four bytes give Length1 and Length2
// (two bytes each, big-endian); the rest is the program.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "uPDFType1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 4) return 0;
  const int64_t Length1 = Data[0] << 8 | Data[1];
  const int64_t Length2 = Data[2] << 8 | Data[3];
  TPDFType1Decoder Decoder;
  Decoder.LoadType1Program(std::string_view(reinterpret_cast<const char*>(Data) + 4, Size - 4), Length1, Length2,
                           static_cast<int64_t>(Size));
  return 0;
}
