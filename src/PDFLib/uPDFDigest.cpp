// Message digests that derive encryption keys: MD5 and SHA-2.
#include "uPDFDigest.h"

#include <cstring>

#include "uPDFLibCrypto.h"

namespace {

// T[i] = floor(2^32 * |sin(i + 1)|).
constexpr uint32_t SineTable[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee,
    0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be,
    0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa,
    0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c,
    0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05,
    0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039,
    0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1,
    0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts, four per round.
constexpr unsigned Shifts[4][4] = {
    {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr uint32_t RotateLeft(uint32_t X, unsigned N) {
  return (X << N) | (X >> (32 - N));
}

uint32_t LoadLE32(const unsigned char* P) {
  return uint32_t(P[0]) | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) |
         (uint32_t(P[3]) << 24);
}

void StoreLE32(uint32_t V, unsigned char* P) {
  for (int I = 0; I < 4; ++I) P[I] = static_cast<unsigned char>(V >> (8 * I));
}

}  // namespace

TPDFMD5::TPDFMD5() { Reset(); }

void TPDFMD5::Reset() {
  State = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  Buffer.fill(0);
  Length = 0;
}

void TPDFMD5::Transform(const unsigned char* Block) {
  uint32_t X[16];
  for (int I = 0; I < 16; ++I) X[I] = LoadLE32(Block + 4 * I);

  uint32_t A = State[0], B = State[1], C = State[2], D = State[3];
  for (unsigned I = 0; I < 64; ++I) {
    const unsigned Round = I / 16;
    uint32_t F;
    unsigned K;
    switch (Round) {
      case 0:
        F = (B & C) | (~B & D);
        K = I;
        break;
      case 1:
        F = (B & D) | (C & ~D);
        K = (1 + 5 * I) % 16;
        break;
      case 2:
        F = B ^ C ^ D;
        K = (5 + 3 * I) % 16;
        break;
      default:
        F = C ^ (B | ~D);
        K = (7 * I) % 16;
        break;
    }
    const uint32_t Sum = A + F + X[K] + SineTable[I];
    A = D;
    D = C;
    C = B;
    B = B + RotateLeft(Sum, Shifts[Round][I % 4]);
  }
  State[0] += A;
  State[1] += B;
  State[2] += C;
  State[3] += D;
}

void TPDFMD5::Update(std::string_view Data) {
  const auto* P = reinterpret_cast<const unsigned char*>(Data.data());
  size_t N = Data.size();
  size_t Used = static_cast<size_t>(Length % 64);
  Length += N;
  if (Used > 0) {
    const size_t Take = N < 64 - Used ? N : 64 - Used;
    std::memcpy(Buffer.data() + Used, P, Take);
    Used += Take;
    P += Take;
    N -= Take;
    if (Used < 64) return;
    Transform(Buffer.data());
  }
  for (; N >= 64; P += 64, N -= 64) Transform(P);
  if (N > 0) std::memcpy(Buffer.data(), P, N);
}

std::string TPDFMD5::Final() {
  const uint64_t BitLength = Length * 8;
  // One 0x80 byte, zeros up to 56 mod 64, then the bit length (little-endian).
  unsigned char Pad[72] = {0x80};
  const size_t Used = static_cast<size_t>(Length % 64);
  const size_t PadLen = Used < 56 ? 56 - Used : 120 - Used;
  for (int I = 0; I < 8; ++I)
    Pad[PadLen + I] = static_cast<unsigned char>(BitLength >> (8 * I));
  Update(std::string_view(reinterpret_cast<const char*>(Pad), PadLen + 8));

  std::string Digest(16, '\0');
  unsigned char Out[16];
  for (int I = 0; I < 4; ++I) StoreLE32(State[I], Out + 4 * I);
  std::memcpy(Digest.data(), Out, 16);
  Reset();
  return Digest;
}

std::string MD5Digest(std::string_view Data) {
  TPDFMD5 Hasher;
  Hasher.Update(Data);
  return Hasher.Final();
}

// ================================================================ SHA-2

namespace {

// The digest of Data by the libcrypto digest Type gives; empty without the
// library.
std::string EVPDigest(decltype(&EVP_sha256) TLibCrypto::*Type, std::string_view Data) {
  const TLibCrypto* L = LibCrypto();
  if (!L) return {};
  const EVP_MD* MD = (L->*Type)();
  unsigned char Out[EVP_MAX_MD_SIZE];
  unsigned int Size = 0;
  if (!MD || L->Digest(Data.data(), Data.size(), Out, &Size, MD, nullptr) != 1) return {};
  return std::string(reinterpret_cast<const char*>(Out), Size);
}

}  // namespace

std::string SHA256Digest(std::string_view Data) { return EVPDigest(&TLibCrypto::SHA256, Data); }
std::string SHA384Digest(std::string_view Data) { return EVPDigest(&TLibCrypto::SHA384, Data); }
std::string SHA512Digest(std::string_view Data) { return EVPDigest(&TLibCrypto::SHA512, Data); }
