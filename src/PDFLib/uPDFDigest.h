// Message digests that derive encryption keys: MD5 (RFC 1321, our own) and
// SHA-256, SHA-384 and SHA-512 (FIPS 180-4, OpenSSL's libcrypto through EVP).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// MD5 digest (16 raw bytes) of Data.
std::string MD5Digest(std::string_view Data);

// SHA-2 digests (32, 48 and 64 raw bytes) of Data. Empty only when the
// library fails. Never throw.
std::string SHA256Digest(std::string_view Data);
std::string SHA384Digest(std::string_view Data);
std::string SHA512Digest(std::string_view Data);

// Incremental MD5: the digest of the concatenation of all Update calls since
// construction or the last Final.
// One thread at a time (each digest is its own object).
class TPDFMD5 {
 public:
  TPDFMD5();
  // Appends Data to the message.
  void Update(std::string_view Data);
  // Digest (16 raw bytes) of the message so far; the object is then reset to
  // an empty message.
  std::string Final();

 private:
  void Reset();
  void Transform(const unsigned char* Block);

  std::array<uint32_t, 4> State{};
  std::array<unsigned char, 64> Buffer{};
  uint64_t Length = 0;  // message length in bytes, modulo 2^64
};
