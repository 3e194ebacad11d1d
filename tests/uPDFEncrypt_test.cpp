// Unit tests of the RC4 stream cipher and of AES-CBC.
#include "uPDFEncrypt.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

std::string ToHex(const std::string& Bytes) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string Hex;
  for (unsigned char C : Bytes) {
    Hex += Digits[C >> 4];
    Hex += Digits[C & 15];
  }
  return Hex;
}

std::string FromHex(std::string_view Hex) {
  auto Nibble = [](char C) {
    return C <= '9' ? C - '0' : (C | 0x20) - 'a' + 10;
  };
  std::string Bytes;
  for (size_t I = 0; I + 1 < Hex.size(); I += 2)
    Bytes += static_cast<char>(Nibble(Hex[I]) * 16 + Nibble(Hex[I + 1]));
  return Bytes;
}

struct TCase {
  const char* Name;
  std::string Key;
  std::string Plain;
  const char* CipherHex;
};

TEST(RC4, KnownVectors) {
  const TCase Cases[] = {
      {"Key", "Key", "Plaintext", "BBF316E8D940AF0AD3"},
      {"Wiki", "Wiki", "pedia", "1021BF0420"},
      {"Secret", "Secret", "Attack at dawn", "45A01F645FC35B383552544B9BF5"},
  };
  for (const TCase& C : Cases) {
    EXPECT_EQ(ToHex(RC4(C.Key, C.Plain)), C.CipherHex) << C.Name;
    EXPECT_EQ(RC4(C.Key, FromHex(C.CipherHex)), C.Plain) << C.Name << " (decrypt)";
  }
}

// RFC 6229 key streams: RC4 of zero bytes is the key stream itself.
TEST(RC4, RFC6229KeyStreams) {
  struct TStreamCase {
    const char* Name;
    const char* KeyHex;
    size_t Offset;
    const char* StreamHex;
  };
  const TStreamCase Cases[] = {
      {"40-bit offset 0", "0102030405", 0, "B2396305F03DC027CCC3524A0A1118A8"},
      {"40-bit offset 16", "0102030405", 16, "6982944F18FC82D589C403A47A0D0919"},
      {"128-bit offset 0", "0102030405060708090a0b0c0d0e0f10", 0,
       "9AC7CC9A609D1EF7B2932899CDE41B97"},
  };
  for (const TStreamCase& C : Cases) {
    const std::string Stream = RC4(FromHex(C.KeyHex), std::string(C.Offset + 16, '\0'));
    EXPECT_EQ(ToHex(Stream.substr(C.Offset)), C.StreamHex) << C.Name;
  }
}

TEST(RC4, RoundTripAndInPlace) {
  std::string Long;
  for (int I = 0; I < 5000; ++I) Long += static_cast<char>(I * 7 + I / 3);
  const TCase Cases[] = {
      {"short", "Key", "Plaintext", ""},
      {"binary key and data", "\0\xFF\x10"s, "\0\0\x01\x80\xFE"s, ""},
      {"one-byte key", "k", "a somewhat longer message, repeated twice", ""},
      {"long data", "0123456789abcdef", Long, ""},
      {"empty data", "Key", "", ""},
  };
  for (const TCase& C : Cases) {
    const std::string Cipher = RC4(C.Key, C.Plain);
    EXPECT_EQ(Cipher.size(), C.Plain.size()) << C.Name;
    if (!C.Plain.empty()) {
      EXPECT_NE(Cipher, C.Plain) << C.Name;
    }
    EXPECT_EQ(RC4(C.Key, Cipher), C.Plain) << C.Name;
    std::string InPlace = C.Plain;
    RC4InPlace(C.Key, InPlace);
    EXPECT_EQ(InPlace, Cipher) << C.Name;
    RC4InPlace(C.Key, InPlace);
    EXPECT_EQ(InPlace, C.Plain) << C.Name;
  }
}

TEST(RC4, EmptyKeyLeavesDataUnchanged) {
  const std::string Data = "unchanged \0 data"s;
  EXPECT_EQ(RC4("", Data), Data);
  std::string InPlace = Data;
  RC4InPlace("", InPlace);
  EXPECT_EQ(InPlace, Data);
}

TEST(RC4, LongKeyUsesFirst256Bytes) {
  std::string Key;
  for (int I = 0; I < 300; ++I) Key += static_cast<char>(I * 13 + 5);
  const std::string Data = "data under a very long key";
  const std::string Expected = RC4(Key.substr(0, 256), Data);
  EXPECT_EQ(RC4(Key, Data), Expected);
  // A key differing only beyond byte 256 gives the same result.
  std::string Other = Key;
  Other[280] = static_cast<char>(Other[280] ^ 0x55);
  EXPECT_EQ(RC4(Other, Data), Expected);
  // ...but one differing within the first 256 bytes does not.
  Other[255] = static_cast<char>(Other[255] ^ 0x55);
  EXPECT_NE(RC4(Other, Data), Expected);
}

// ---------------------------------------------------------------- AES

// NIST SP 800-38A, F.2.1 and F.2.5: CBC with IV 000102..0F over four blocks.
const std::string NistPlain = FromHex(
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
const std::string NistIV = FromHex("000102030405060708090a0b0c0d0e0f");
const std::string Nist128Key = FromHex("2b7e151628aed2a6abf7158809cf4f3c");
const std::string Nist256Key = FromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
const char* const Nist128Cipher =
    "7649ABAC8119B246CEE98E9B12E9197D5086CB9B507219EE95DB113A917678B2"
    "73BED6B8E3C1743B7116E69E222295163FF1CAA1681FAC09120ECA307586E1A7";
const char* const Nist256Cipher =
    "F58C4C04D6E5F1BA779EABFB5F7BFBD69CFC4E967EDB808D679F777BC6702C7D"
    "39F23369A9D9BACFA530E26304231461B2EB05E2C39BE9FCDA6C19078C6A9D1B";

TEST(AES, NistCBCVectors) {
  for (const auto& [Key, Cipher] : {std::pair{Nist128Key, Nist128Cipher}, std::pair{Nist256Key, Nist256Cipher}}) {
    EXPECT_EQ(ToHex(AESEncryptCBC(Key, NistIV, NistPlain)), Cipher) << Key.size();
    EXPECT_EQ(AESDecryptCBC(Key, NistIV, FromHex(Cipher)), NistPlain) << Key.size();
    // No padding is added or expected, and a cut block is dropped.
    EXPECT_EQ(ToHex(AESEncryptCBC(Key, NistIV, NistPlain + "abc")), Cipher) << Key.size();
  }
  // An empty IV is sixteen zeros (the file keys of AES-256 documents).
  EXPECT_EQ(AESDecryptCBC(Nist256Key, "", NistPlain), AESDecryptCBC(Nist256Key, std::string(16, '\0'), NistPlain));
  // Keys and IVs of other sizes give nothing.
  EXPECT_EQ(AESEncryptCBC(Nist128Key.substr(0, 15), NistIV, NistPlain), "");
  EXPECT_EQ(AESEncryptCBC(Nist128Key + "12345678", NistIV, NistPlain), "");  // 24 bytes: not a size we use
  EXPECT_EQ(AESDecryptCBC(Nist128Key, NistIV.substr(1), NistPlain), "");
}

// A PDF string or stream: the IV, then the data with PKCS#5 padding.
TEST(AES, PDFDataCarriesItsIVAndPadding) {
  const std::string Stored = NistIV + FromHex(Nist128Cipher);
  struct TCase {
    const char* Name;
    std::string Data;      // stored bytes
    std::string Expected;  // what decrypts
  };
  auto Padded = [&](const std::string& Plain) {
    const size_t N = 16 - Plain.size() % 16;
    return NistIV + AESEncryptCBC(Nist128Key, NistIV, Plain + std::string(N, static_cast<char>(N)));
  };
  const TCase Cases[] = {
      // The four NIST blocks end in 0x10, not in padding: nothing is cut.
      {"no padding", Stored, NistPlain},
      {"one byte of padding", Padded("fifteen bytes!!"), "fifteen bytes!!"},
      {"a whole block of padding", Padded("sixteen bytes!!!"), "sixteen bytes!!!"},
      {"empty text", Padded(""), ""},
      {"IV alone", NistIV, ""},
      {"shorter than the IV", NistIV.substr(0, 7), ""},
      // Stored data cut inside a block: the whole blocks decrypt, and their
      // end is not taken for padding.
      {"cut inside the last block", Padded("fifteen bytes!!").substr(0, 31), ""},
      {"cut after whole blocks", Padded(NistPlain).substr(0, 16 + 64 + 5), NistPlain},
  };
  for (const TCase& C : Cases) EXPECT_EQ(AESDecryptPDF(Nist128Key, C.Data), C.Expected) << C.Name;
  // Bad padding stays: the last byte says 0, 17, or 3 with other bytes before it.
  for (const std::string& Tail : {std::string(16, '\0'), std::string(16, '\x11'), std::string(14, 'a') + "\x02\x03"}) {
    const std::string Plain = "0123456789abcdef" + Tail;
    EXPECT_EQ(AESDecryptPDF(Nist128Key, NistIV + AESEncryptCBC(Nist128Key, NistIV, Plain)), Plain);
  }
  // A wrong key decrypts to garbage of the same size or less, never throws.
  EXPECT_LE(AESDecryptPDF(Nist256Key, Stored).size(), 64u);
  EXPECT_EQ(AESDecryptPDF("short key", Stored), "");
}

}  // namespace
