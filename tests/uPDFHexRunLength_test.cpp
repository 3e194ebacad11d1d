// Unit tests of the ASCII hexadecimal and run-length decoders.
#include "uPDFHexRunLength.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using namespace std::string_literals;

struct TCase {
  const char* Name;
  std::string Input;
  std::string Expected;
};

TEST(ASCIIHexDecode, DigitsSpacesAndTheEnd) {
  const TCase Cases[] = {
      {"pairs", "48656C6C6F>", "Hello"},
      {"either letter case", "4a4B>", "JK"},
      {"white space anywhere, even inside a pair", "4 8\r\n6\t5\f>", "He"},
      {"a final lone digit counts as followed by 0", "48657>", "Hep"},
      {"nothing after the end is read", "41>42", "A"},
      {"no end marker: the end of the data", "4142", "AB"},
      {"no end marker and a lone digit", "414", "A@"},
      {"bytes that are no digits are skipped", "4g1z>", "A"},
      {"zero bytes", "0000>", "\0\0"s},
      {"empty", "", ""},
      {"only the end", ">", ""},
      {"high bytes", "FF80>", "\xFF\x80"},
  };
  for (const auto& C : Cases) EXPECT_EQ(DecodeASCIIHex(C.Input), C.Expected) << C.Name;
}

TEST(RunLengthDecode, LiteralAndRepeatedRuns) {
  const TCase Cases[] = {
      {"a literal run of L + 1 bytes", "\x04Hello\x80", "Hello"},
      {"a repeated run of 257 - L bytes", "\xFE*\x80", "***"},
      {"the longest runs", "\x7F"s + std::string(128, 'a') + "\x81" "b" "\x80", std::string(128, 'a') + std::string(128, 'b')},
      {"one byte runs", "\x00x\xFFy\x80"s, "xyy"},
      {"runs one after another", "\x01" "ab" "\xFD" "c" "\x00" "d" "\x80"s, "abccccd"},
      {"nothing after the end is read", "\x00" "a" "\x80" "\x00" "b"s, "a"},
      {"no end marker: the end of the data", "\x01" "ab", "ab"},
      {"a literal run cut short gives what it has", "\x05" "ab", "ab"},
      {"a repeated run with no byte gives nothing", "\x00" "a" "\xF0"s, "a"},
      {"empty", "", ""},
      {"only the end", "\x80", ""},
  };
  for (const auto& C : Cases) EXPECT_EQ(DecodeRunLength(C.Input), C.Expected) << C.Name;
}

TEST(HexAndRunLength, OutputStopsAtTheLimit) {
  const std::string Hex = "48656C6C6F20776F726C64>", RunLength = "\x04Hello\xFA!\x80";
  for (size_t Limit : {0, 1, 4, 5, 6, 10, 11, 12, 100}) {
    EXPECT_EQ(DecodeASCIIHex(Hex, Limit), std::string("Hello world").substr(0, Limit)) << Limit;
    EXPECT_EQ(DecodeRunLength(RunLength, Limit), std::string("Hello!!!!!!!").substr(0, Limit)) << Limit;
  }
  // A small input that repeats to far more than the limit stops there.
  std::string Bomb;
  for (int I = 0; I < 100000; ++I) Bomb += "\x81z";
  EXPECT_EQ(DecodeRunLength(Bomb, 1001), std::string(1001, 'z'));
  EXPECT_EQ(DecodeRunLength(Bomb).size(), 12800000u);
}

// Encodes as producers do: repeats of two or more as repeated runs, the rest
// as literal runs of at most 128 bytes, then the end marker.
std::string EncodeRunLength(const std::string& Data) {
  std::string Out;
  for (size_t I = 0; I < Data.size();) {
    size_t Same = 1;
    while (I + Same < Data.size() && Same < 128 && Data[I + Same] == Data[I]) ++Same;
    if (Same >= 2) {
      Out += static_cast<char>(257 - Same);
      Out += Data[I];
      I += Same;
      continue;
    }
    size_t End = I + 1;
    while (End < Data.size() && End - I < 128 && !(End + 1 < Data.size() && Data[End + 1] == Data[End])) ++End;
    Out += static_cast<char>(End - I - 1);
    Out.append(Data, I, End - I);
    I = End;
  }
  return Out + "\x80";
}

TEST(HexAndRunLength, RoundTrips) {
  std::mt19937 Rng(11);
  for (int Round = 0; Round < 200; ++Round) {
    std::string Data(std::uniform_int_distribution<size_t>(0, 600)(Rng), '\0');
    const int Alphabet = Round % 3 == 0 ? 2 : 256;  // long repeats, or few
    for (char& C : Data) C = static_cast<char>(std::uniform_int_distribution<int>(0, Alphabet - 1)(Rng));
    static const char Digits[] = "0123456789abcdef";
    std::string Hex;
    for (unsigned char C : Data) {
      Hex += Digits[C >> 4];
      Hex += Digits[C & 15];
      if (Hex.size() % 64 == 0) Hex += '\n';
    }
    EXPECT_EQ(DecodeASCIIHex(Hex + ">"), Data) << Round;
    EXPECT_EQ(DecodeRunLength(EncodeRunLength(Data)), Data) << Round;
  }
}

}  // namespace
