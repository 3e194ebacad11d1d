// Unit tests of the RC4 stream cipher.
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

}  // namespace
