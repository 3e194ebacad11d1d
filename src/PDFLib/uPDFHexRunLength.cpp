// ASCII hexadecimal and run-length decoding for the /ASCIIHexDecode and
// /RunLengthDecode stream filters.
#include "uPDFHexRunLength.h"

#include <algorithm>
#include <new>

#include "uPDFExtra.h"

std::string DecodeASCIIHex(std::string_view Data, size_t MaxOutput) {
  std::string Out;
  {
    Out.reserve(std::min(Data.size() / 2 + 1, MaxOutput));
    int High = -1;  // the first digit of a pair, while waiting for the second
    for (unsigned char C : Data) {
      if (Out.size() >= MaxOutput) return Out;
      if (C == '>') break;
      const int V = HexDigitValue(C);
      if (V < 0) continue;
      if (High < 0) {
        High = V;
      } else {
        Out += static_cast<char>(High << 4 | V);
        High = -1;
      }
    }
    if (High >= 0 && Out.size() < MaxOutput) Out += static_cast<char>(High << 4);
  }
  return Out;
}

std::string DecodeRunLength(std::string_view Data, size_t MaxOutput) {
  std::string Out;
  {
    for (size_t Pos = 0; Pos < Data.size() && Out.size() < MaxOutput;) {
      const unsigned char L = static_cast<unsigned char>(Data[Pos++]);
      const size_t Room = MaxOutput - Out.size();
      if (L < 128) {
        const size_t Count = std::min({size_t{L} + 1, Data.size() - Pos, Room});
        Out.append(Data.substr(Pos, Count));
        Pos += size_t{L} + 1;
      } else if (L > 128) {
        if (Pos >= Data.size()) break;
        Out.append(std::min(size_t{257} - L, Room), Data[Pos++]);
      } else {
        break;
      }
    }
  }
  return Out;
}
