// Unit tests of the ASCII base-85 decoder.
#include "uPDFAscii85.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>

namespace {

using namespace std::string_literals;

struct TCase {
  const char* Name;
  std::string Input;
  std::string Expected;
};

void RunCases(const TCase* Begin, const TCase* End) {
  for (const TCase* C = Begin; C != End; ++C)
    EXPECT_EQ(DecodeASCII85(C->Input), C->Expected) << C->Name;
}

TEST(ASCII85Decode, Groups) {
  const TCase Cases[] = {
      {"text", "87cURD]j7BEbo7~>", "Hello world"},
      {"z", "z~>", "\0\0\0\0"s},
      {"five zero digits", "!!!!!~>", "\0\0\0\0"s},
      {"largest group", "s8W-!~>", "\xFF\xFF\xFF\xFF"},
      {"one above the largest group", "s8W-\"~>", "\0\0\0\0"s},
      {"largest digits", "uuuuu~>", "\0\0\0\0"s},
      {"empty", "~>", ""},
      {"z between groups", "87cURzD]j7B~>", "Hell\0\0\0\0o wo"s},
      // "z" is five "!" digits wherever it stands: here "87!!!" and "!!".
      {"z inside a group", "87z~>", "\x48\x5E\x14\x45\0"s},
      // Before the end "~" is a digit of value 93 and ">" one of value 29.
      {"tilde before the end", "!!!!~~>", "\0\0\0\x5D"s},
      {"closing bracket before the end", "!!!!>~>", "\0\0\0\x1D"s},
      {"an earlier ~> is digits", "!!!~>~>", "\0\0\x1E\xFE"s},
  };
  RunCases(std::begin(Cases), std::end(Cases));
}

TEST(ASCII85Decode, FinalPartialGroup) {
  const TCase Cases[] = {
      {"one digit", "8~>", ""},
      {"two digits", "87~>", "H"},
      {"three digits", "87c~>", "He"},
      {"four digits", "87cU~>", "Hel"},
      {"after a group", "87cURD]~>", "Hello"},
      {"after z", "z87~>", "\0\0\0\0H"s},
      // The padded value exceeds 32 bits: zero bytes.
      {"out of range", "s8W-~>", "\0\0\0"s},
  };
  RunCases(std::begin(Cases), std::end(Cases));
}

TEST(ASCII85Decode, SkippedBytes) {
  const TCase Cases[] = {
      {"line breaks and spaces", "87cUR D]j7B\r\nEbo7 \t~>", "Hello world"},
      {"between ~ and >", "87cURD]j7BEbo7~ \n>", "Hello world"},
      {"after ~>", "87cURD]j7BEbo7~>\r\n ", "Hello world"},
      {"control and high bytes", "87\0cU\x7FR\x80\xFF\x01"s + "D]j7BEbo7~>", "Hello world"},
      {"v to y, braces and bar", "8v7wcxUyR{D|]}j7BEbo7~>", "Hello world"},
  };
  RunCases(std::begin(Cases), std::end(Cases));
}

// Without the closing "~>" (after the skipped bytes) nothing is decoded.
TEST(ASCII85Decode, MissingEndGivesNothing) {
  const TCase Cases[] = {
      {"no end", "87cURD]j7BEbo7", ""},
      {"only ~", "87cURD]j7BEbo7~", ""},
      {"only >", "87cURD]j7BEbo7>", ""},
      {"reversed", "87cURD]j7BEbo7>~", ""},
      {"digits after the end", "87cURD]j7BEbo7~>87", ""},
      {"z after the end", "87cURD]j7BEbo7~>z", ""},
      {"empty input", "", ""},
      {"only skipped bytes", " \r\n{}", ""},
  };
  RunCases(std::begin(Cases), std::end(Cases));
}

TEST(ASCII85Decode, OutputStopsAtTheLimit) {
  const std::string Text = "87cURD]j7BEbo7~>";
  for (size_t Limit : {0, 1, 4, 5, 10, 11, 12})
    EXPECT_EQ(DecodeASCII85(Text, Limit), std::string("Hello world").substr(0, Limit)) << Limit;
  std::string Zeros(100000, 'z');
  Zeros += "~>";
  EXPECT_EQ(DecodeASCII85(Zeros, 1001), std::string(1001, '\0'));
  EXPECT_EQ(DecodeASCII85(Zeros).size(), 400000u);
}

// Encodes as the PDF standard does: groups of four bytes as five digits, zero
// groups as "z", a final group of n bytes padded with zero bytes and written
// as n + 1 digits; a line break after every fifteen groups.
std::string Encode(const std::string& Data) {
  std::string Out;
  for (size_t I = 0; I < Data.size(); I += 4) {
    size_t N = std::min<size_t>(4, Data.size() - I);
    uint32_t V = 0;
    for (size_t K = 0; K < 4; ++K) V = V << 8 | (K < N ? uint8_t(Data[I + K]) : 0);
    if (V == 0 && N == 4) {
      Out += 'z';
    } else {
      char Digits[5];
      for (int K = 4; K >= 0; --K, V /= 85) Digits[K] = char('!' + V % 85);
      Out.append(Digits, N + 1);
    }
    if (I / 4 % 15 == 14) Out += '\n';
  }
  return Out + "~>";
}

TEST(ASCII85Decode, RoundTrips) {
  std::mt19937 Rng(5);
  for (size_t Size : {0, 1, 2, 3, 4, 5, 7, 8, 1000, 100001}) {
    std::string Data(Size, '\0');
    // Every other run of bytes is zero, so "z" groups appear too.
    for (size_t I = 0; I < Size; ++I) Data[I] = (I / 16) % 2 ? char(Rng()) : '\0';
    EXPECT_TRUE(DecodeASCII85(Encode(Data)) == Data) << Size;
  }
}

// The decoding in its plainest form: gather the digits (with "z" as five "!"),
// drop the final "~>", then decode groups. Random text over a small alphabet
// checks the decoder's single pass (whole groups at once, "z" at and inside
// group starts, "~" and ">" as digits, the limit) against it.
std::string DecodeByGathering(const std::string& Data) {
  std::string Digits;
  for (unsigned char C : Data) {
    if ((C >= '!' && C <= 'u') || C == '~')
      Digits += char(C);
    else if (C == 'z')
      Digits += "!!!!!";
  }
  if (Digits.size() < 2 || Digits.compare(Digits.size() - 2, 2, "~>") != 0) return "";
  Digits.resize(Digits.size() - 2);
  std::string Out;
  auto Group = [&](size_t At, size_t Bytes) {
    uint64_t V = 0;
    for (size_t K = 0; K < 5; ++K) V = V * 85 + (At + K < Digits.size() ? Digits[At + K] - '!' : 84);
    if (V > 0xFFFFFFFF) V = 0;
    for (size_t K = 0; K < Bytes; ++K) Out += char(V >> (24 - 8 * K));
  };
  size_t I = 0;
  for (; I + 5 <= Digits.size(); I += 5) Group(I, 4);
  if (Digits.size() - I >= 2) Group(I, Digits.size() - I - 1);
  return Out;
}

TEST(ASCII85Decode, MatchesGatheringOnRandomText) {
  const std::string Alphabet = "!!!!!+AZfuuuu~>z \n\x80";
  std::mt19937 Rng(9);
  for (int Round = 0; Round < 3000; ++Round) {
    std::string Text(Rng() % 40, ' ');
    for (char& C : Text) C = Alphabet[Rng() % Alphabet.size()];
    if (Round % 4 != 0) Text += Round % 3 ? "~>" : "~ >\n";
    std::string Expected = DecodeByGathering(Text);
    EXPECT_EQ(DecodeASCII85(Text), Expected) << Text;
    size_t Limit = Rng() % (Expected.size() + 2);
    EXPECT_EQ(DecodeASCII85(Text, Limit), Expected.substr(0, Limit)) << Text << " limit " << Limit;
  }
}

}  // namespace
