// RC4 stream cipher for the standard PDF security handler.
#include "uPDFEncrypt.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace {

constexpr size_t MaxKeyLength = 256;

// XORs the key stream of Key (non-empty, at most 256 bytes used) into the
// Size bytes at Data.
void ApplyKeyStream(std::string_view Key, char* Data, size_t Size) {
  if (Key.size() > MaxKeyLength) Key = Key.substr(0, MaxKeyLength);

  // Key scheduling.
  std::array<uint8_t, 256> S;
  for (size_t I = 0; I < 256; ++I) S[I] = static_cast<uint8_t>(I);
  uint8_t J = 0;
  for (size_t I = 0; I < 256; ++I) {
    J = static_cast<uint8_t>(J + S[I] + static_cast<uint8_t>(Key[I % Key.size()]));
    std::swap(S[I], S[J]);
  }

  // Key stream generation.
  uint8_t I = 0;
  J = 0;
  for (size_t N = 0; N < Size; ++N) {
    I = static_cast<uint8_t>(I + 1);
    J = static_cast<uint8_t>(J + S[I]);
    std::swap(S[I], S[J]);
    const uint8_t K = S[static_cast<uint8_t>(S[I] + S[J])];
    Data[N] = static_cast<char>(static_cast<uint8_t>(Data[N]) ^ K);
  }
}

}  // namespace

std::string RC4(std::string_view Key, std::string_view Data) {
  std::string Result(Data);
  RC4InPlace(Key, Result);
  return Result;
}

void RC4InPlace(std::string_view Key, std::string& Data) {
  if (Key.empty() || Data.empty()) return;
  ApplyKeyStream(Key, Data.data(), Data.size());
}
