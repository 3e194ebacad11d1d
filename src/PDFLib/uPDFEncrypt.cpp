// Ciphers of the standard PDF security handler: RC4 and AES-CBC.
#include "uPDFEncrypt.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "uPDFLibCrypto.h"

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

// ================================================================ AES

namespace {

constexpr size_t AESBlock = 16;

// One CBC pass over the whole blocks of Data; empty for a bad key or IV.
std::string AESCBC(bool Encrypt, std::string_view Key, std::string_view IV, std::string_view Data) {
  const TLibCrypto* L = LibCrypto();
  if (!L) return {};
  const EVP_CIPHER* Cipher = Key.size() == 16 ? L->AES128CBC() : Key.size() == 32 ? L->AES256CBC() : nullptr;
  if (!Cipher || !(IV.empty() || IV.size() == AESBlock)) return {};
  const size_t Size = Data.size() - Data.size() % AESBlock;
  if (Size == 0) return {};
  // Sizes are passed to the library as int: longer data go in parts.
  constexpr size_t Part = size_t{1} << 30;
  unsigned char ZeroIV[AESBlock] = {};
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> Ctx(L->CipherNew(), L->CipherFree);
  if (!Ctx) return {};
  const auto* K = reinterpret_cast<const unsigned char*>(Key.data());
  const auto* V = IV.empty() ? ZeroIV : reinterpret_cast<const unsigned char*>(IV.data());
  if (L->CipherInit(Ctx.get(), Cipher, nullptr, K, V, Encrypt ? 1 : 0) != 1) return {};
  L->SetPadding(Ctx.get(), 0);
  std::string Out(Size, '\0');
  auto* O = reinterpret_cast<unsigned char*>(Out.data());
  const auto* I = reinterpret_cast<const unsigned char*>(Data.data());
  size_t Done = 0;
  while (Done < Size) {
    const size_t N = std::min(Part, Size - Done);
    int Len = 0;
    if (L->CipherUpdate(Ctx.get(), O + Done, &Len, I + Done, static_cast<int>(N)) != 1 ||
        static_cast<size_t>(Len) != N)
      return {};
    Done += N;
  }
  return Out;
}

}  // namespace

std::string AESEncryptCBC(std::string_view Key, std::string_view IV, std::string_view Data) {
  return AESCBC(true, Key, IV, Data);
}

std::string AESDecryptCBC(std::string_view Key, std::string_view IV, std::string_view Data) {
  return AESCBC(false, Key, IV, Data);
}

std::string AESDecryptPDF(std::string_view Key, std::string_view Data) {
  if (Data.size() < AESBlock) return {};
  const bool WholeBlocks = Data.size() % AESBlock == 0;
  std::string Plain = AESCBC(false, Key, Data.substr(0, AESBlock), Data.substr(AESBlock));
  // PKCS#5: the last byte n (1 to 16) and n bytes of value n. Anything else
  // is not padding, and nothing is removed.
  if (WholeBlocks && !Plain.empty()) {
    const auto N = static_cast<unsigned char>(Plain.back());
    if (N >= 1 && N <= AESBlock && N <= Plain.size() &&
        std::all_of(Plain.end() - N, Plain.end(), [N](char C) { return static_cast<unsigned char>(C) == N; }))
      Plain.resize(Plain.size() - N);
  }
  return Plain;
}
