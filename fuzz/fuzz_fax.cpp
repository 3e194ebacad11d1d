// Fuzz target: the fax decoder. The input's first four bytes choose the
// settings (K from the first byte's low two bits: -1, 0 or 1; its bit 2
// aligned rows, bit 3 EOLs; columns from the next two bytes, 1 to 4096;
// rows from the fourth, 1 to 256), the rest is the coded data.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "uPDFFax.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 4) return 0;
  TFaxParams P;
  P.K = Data[0] % 4 == 0 ? -1 : Data[0] % 4 == 1 ? 0 : 1;
  P.EncodedByteAlign = Data[0] & 4;
  P.EndOfLine = Data[0] & 8;
  P.Columns = ((Data[1] << 8 | Data[2]) & 0xFFF) + 1;
  P.Rows = Data[3] + 1;
  std::string Bits, Error;
  DecodeFaxRows(std::string_view(reinterpret_cast<const char*>(Data) + 4, Size - 4), P, Bits, Error);
  if (Bits.size() != (static_cast<size_t>(P.Columns) + 7) / 8 * P.Rows) __builtin_trap();
  return 0;
}
