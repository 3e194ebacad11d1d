// ASCII base-85 decoding for the /ASCII85Decode stream filter.
#include "uPDFAscii85.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr uint8_t SkipByte = 0xFF;   // whitespace, control bytes, v to y, braces, ...
constexpr uint8_t ZeroGroup = 0xFE;  // "z"
constexpr uint8_t TildeDigit = 93;   // "~" before the end: '!' + 93

// Digit value (0 to 84, or 93) of every byte, or one of the two marks above.
// Digit values are below 128 and the marks are not.
constexpr std::array<uint8_t, 256> DigitTable = [] {
  std::array<uint8_t, 256> T{};
  for (int C = 0; C < 256; ++C) T[C] = SkipByte;
  for (int C = '!'; C <= 'u'; ++C) T[C] = uint8_t(C - '!');
  T['z'] = ZeroGroup;
  T['~'] = TildeDigit;
  return T;
}();

constexpr uint64_t MaxGroupValue = 0xFFFFFFFF;

// Index of the "~" of the final "~>" among the kept bytes; npos when the kept
// bytes do not end with "~>".
size_t FindEnd(std::string_view Data) {
  size_t I = Data.size();
  auto PrevKept = [&] {
    while (I > 0 && DigitTable[uint8_t(Data[I - 1])] == SkipByte) --I;
    return I > 0 ? Data[--I] : '\0';
  };
  if (PrevKept() != '>') return std::string_view::npos;
  if (PrevKept() != '~') return std::string_view::npos;
  return I;
}

// Decoded bytes in a buffer whose room at least doubles when it runs out,
// cut at a limit.
class TAscii85Output {
 public:
  TAscii85Output(size_t Limit, size_t Estimate) : MaxOut(Limit) {
    Buffer.resize(std::min(Limit, Estimate));
  }

  // Appends the four bytes of group value V, most significant first (four zero
  // bytes when V exceeds 32 bits); false once the limit is reached.
  bool PutGroup(uint64_t V) {
    if (MaxOut - Used < 4) return PutPart(V, 4);
    if (Buffer.size() - Used < 4) Grow(4);
    if (V > MaxGroupValue) V = 0;
    char* Dst = Buffer.data() + Used;
    Dst[0] = char(V >> 24);
    Dst[1] = char(V >> 16);
    Dst[2] = char(V >> 8);
    Dst[3] = char(V);
    Used += 4;
    return Used < MaxOut;
  }

  // The first Count (0 to 4) bytes of group value V, cut at the limit.
  bool PutPart(uint64_t V, size_t Count) {
    size_t Take = std::min(Count, MaxOut - Used);
    if (Buffer.size() - Used < Take) Grow(Take);
    if (V > MaxGroupValue) V = 0;
    for (size_t I = 0; I < Take; ++I) Buffer[Used + I] = char(V >> (24 - 8 * I));
    Used += Take;
    return Take == Count && Used < MaxOut;
  }

  std::string Result() {
    Buffer.resize(Used);
    if (Buffer.capacity() - Used > Used / 2) Buffer.shrink_to_fit();
    return std::move(Buffer);
  }

 private:
  void Grow(size_t N) {
    size_t Room = Buffer.size();
    Buffer.resize(std::min(MaxOut, std::max(Used + N, Room < MaxOut / 2 ? Room * 2 : MaxOut)));
  }

  std::string Buffer;  // size is the room; the first Used bytes are decoded
  size_t Used = 0;
  size_t MaxOut;
};

}  // namespace

std::string DecodeASCII85(std::string_view Data, size_t MaxOutput) {
  const size_t End = FindEnd(Data);
  if (End == std::string_view::npos || MaxOutput == 0) return {};
  try {
    const uint8_t* In = reinterpret_cast<const uint8_t*>(Data.data());
    TAscii85Output Out(MaxOutput, End / 5 * 4 + 4);
    uint64_t V = 0;  // at most 93 * (85^5 - 1) / 84: no overflow
    int Count = 0;   // digits in V
    bool More = true;
    size_t I = 0;
    while (More && I < End) {
      // Five digits in a row, the usual case, make a group at once.
      if (Count == 0 && End - I >= 5) {
        uint8_t D0 = DigitTable[In[I]], D1 = DigitTable[In[I + 1]], D2 = DigitTable[In[I + 2]],
                D3 = DigitTable[In[I + 3]], D4 = DigitTable[In[I + 4]];
        if ((D0 | D1 | D2 | D3 | D4) < 128) {
          More = Out.PutGroup((((uint64_t(D0) * 85 + D1) * 85 + D2) * 85 + D3) * 85 + D4);
          I += 5;
          continue;
        }
      }
      uint8_t D = DigitTable[In[I++]];
      if (D == SkipByte) continue;
      if (D == ZeroGroup && Count == 0) {
        More = Out.PutGroup(0);
        continue;
      }
      // A "z" inside a group is five "!" digits and runs into the next group.
      for (int K = D == ZeroGroup ? 5 : 1; K > 0 && More; --K) {
        V = V * 85 + (D == ZeroGroup ? 0 : D);
        if (++Count == 5) {
          More = Out.PutGroup(V);
          V = 0;
          Count = 0;
        }
      }
    }
    if (More && Count >= 2) {
      // Pad with "u" and keep one byte less than the digits. The bound is
      // strict here, but a padded value (84 modulo 85) never equals 2^32 - 1
      // (0 modulo 85), so the group test above serves.
      const size_t Bytes = size_t(Count) - 1;
      for (; Count < 5; ++Count) V = V * 85 + 84;
      Out.PutPart(V, Bytes);
    }
    return Out.Result();
  } catch (const std::bad_alloc&) {
    throw;  // out of memory is no property of the data: the caller is told
  } catch (...) {
    return {};
  }
}
