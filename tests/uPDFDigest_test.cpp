// Unit tests of the message digests: MD5 and SHA-2.
#include "uPDFDigest.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string ToHex(const std::string& Bytes) {
  static const char Digits[] = "0123456789abcdef";
  std::string Hex;
  for (unsigned char C : Bytes) {
    Hex += Digits[C >> 4];
    Hex += Digits[C & 15];
  }
  return Hex;
}

// Deterministic pseudo-random bytes (a linear congruential generator).
std::string PseudoRandomBytes(size_t Size, uint32_t Seed) {
  std::string Data(Size, '\0');
  for (char& C : Data) {
    Seed = Seed * 1664525u + 1013904223u;
    C = static_cast<char>(Seed >> 24);
  }
  return Data;
}

// Lower-case hex digest that the md5sum command prints for Data, or the empty
// string when the command cannot be run.
std::string MD5SumOf(const std::string& Data) {
  char Path[] = "/tmp/uPDFDigest_testXXXXXX";
  const int Fd = mkstemp(Path);
  if (Fd < 0) return "";
  bool Written = true;
  for (size_t Done = 0; Done < Data.size();) {
    const ssize_t N = write(Fd, Data.data() + Done, Data.size() - Done);
    if (N <= 0) {
      Written = false;
      break;
    }
    Done += static_cast<size_t>(N);
  }
  close(Fd);
  std::string Hex;
  if (Written) {
    const std::string Command = std::string("md5sum ") + Path;
    if (FILE* Pipe = popen(Command.c_str(), "r")) {
      char Line[256];
      if (fgets(Line, sizeof Line, Pipe)) Hex = std::string(Line).substr(0, 32);
      pclose(Pipe);
    }
  }
  unlink(Path);
  return Hex;
}

struct TCase {
  const char* Name;
  std::string Input;
  const char* ExpectedHex;
};

TEST(MD5, RFC1321TestSuite) {
  const TCase Cases[] = {
      {"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"alphabet", "abcdefghijklmnopqrstuvwxyz",
       "c3fcd3d76192e4007dfb496cca67e13b"},
      {"alphanumerics",
       "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"digits x 8",
       "1234567890123456789012345678901234567890"
       "1234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const TCase& C : Cases) {
    EXPECT_EQ(MD5Digest(C.Input).size(), 16u) << C.Name;
    EXPECT_EQ(ToHex(MD5Digest(C.Input)), C.ExpectedHex) << C.Name;
    TPDFMD5 Hasher;
    Hasher.Update(C.Input);
    EXPECT_EQ(ToHex(Hasher.Final()), C.ExpectedHex) << C.Name << " (incremental)";
  }
}

TEST(MD5, IncrementalSplitAtEveryBoundary) {
  std::string Text;
  while (Text.size() < 200) Text += "The quick brown fox jumps over the lazy dog. ";
  Text.resize(200);
  const std::string Expected = MD5Digest(Text);
  TPDFMD5 Hasher;
  for (size_t Split = 0; Split <= Text.size(); ++Split) {
    Hasher.Update(std::string_view(Text).substr(0, Split));
    Hasher.Update(std::string_view(Text).substr(Split));
    EXPECT_EQ(Hasher.Final(), Expected) << "split at " << Split;
  }
  // One byte at a time.
  for (char C : Text) Hasher.Update(std::string_view(&C, 1));
  EXPECT_EQ(Hasher.Final(), Expected) << "byte by byte";
}

TEST(MD5, FinalResets) {
  TPDFMD5 Hasher;
  Hasher.Update("some earlier message");
  Hasher.Final();
  EXPECT_EQ(ToHex(Hasher.Final()), "d41d8cd98f00b204e9800998ecf8427e");
  Hasher.Update("abc");
  EXPECT_EQ(ToHex(Hasher.Final()), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(MD5, AgreesWithMD5Sum) {
  struct TSizeCase {
    const char* Name;
    size_t Size;
  };
  // Lengths around the padding boundaries, and 1 MB.
  const TSizeCase Cases[] = {
      {"55 bytes", 55},   {"56 bytes", 56},   {"63 bytes", 63},
      {"64 bytes", 64},   {"65 bytes", 65},   {"119 bytes", 119},
      {"120 bytes", 120}, {"128 bytes", 128}, {"1 MB", 1u << 20},
  };
  for (const TSizeCase& C : Cases) {
    const std::string Data = PseudoRandomBytes(C.Size, 12345u + C.Size);
    const std::string Expected = MD5SumOf(Data);
    ASSERT_EQ(Expected.size(), 32u) << "md5sum failed for " << C.Name;
    EXPECT_EQ(ToHex(MD5Digest(Data)), Expected) << C.Name;
  }
}

// FIPS 180-4 examples ("abc", and the empty message): each digest is the
// one its name says (a mixed-up SHA-384 and SHA-512 would change the hash of
// AES-256 documents only in some rounds).
TEST(SHA2, FIPSExamples) {
  struct TCase {
    std::string (*Digest)(std::string_view);
    const char* Message;
    const char* Hex;
  } Cases[] = {
      {SHA256Digest, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {SHA256Digest, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {SHA384Digest, "abc",
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
      {SHA512Digest, "abc",
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
       "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
  };
  for (const TCase& C : Cases) EXPECT_EQ(ToHex(C.Digest(C.Message)), C.Hex) << C.Message;
  // Bytes beyond ASCII and zeros are digested as they are.
  EXPECT_NE(SHA256Digest(std::string("a\0b", 3)), SHA256Digest("a"));
}

}  // namespace
