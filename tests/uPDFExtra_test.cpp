// Number text and content-stream token helpers.
#include "uPDFExtra.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(StrToNumber, ReadsPdfNumberText) {
  struct Case {
    const char* Text;
    double Expected;
  } Cases[] = {
      {"3", 3},
      {"-17", -17},
      {"12.5", 12.5},
      {"-0.5", -0.5},
      {"-.5", -0.5},
      {".25", 0.25},
      {"5.", 5},
      {"1.1234567891", 1.123456789},  // digits after the ninth are ignored
      {"  7", 7},                     // leading spaces are allowed
      {"7 ", 0},                      // trailing whitespace is not
      {"1-2", 0},
      {"--3", 0},
      {"abc", 0},
      {"", 0},
      {"+5", 0},
      {"2147483647", 2147483647},
      {"2147483648", 0},
      {"-2147483648", -2147483648.0},
      {"3000000000.5", 0.5},  // the integer part must fit 32 bits
  };
  for (const auto& C : Cases) EXPECT_DOUBLE_EQ(StrToNumber(C.Text), C.Expected) << '"' << C.Text << '"';
}

TEST(IsNumberText, AcceptsOnlyDigitsPointAndLeadingMinus) {
  struct Case {
    const char* Text;
    bool Expected;
  } Cases[] = {
      {"", true},       {" 12 ", true},  {"-1.5", true}, {"\t-4\n", true}, {"--3", true},
      {"1-2", false},   {"1.2.3", false}, {"+1", false}, {"1e5", false},   {"0x10", false},
  };
  for (const auto& C : Cases) EXPECT_EQ(IsNumberText(C.Text), C.Expected) << '"' << C.Text << '"';
}

TEST(FormatNumber, CutsToDecimalsAndPads) {
  struct Case {
    int MinWidth, Decimals;
    double Value;
    const char* Expected;
  } Cases[] = {
      {0, 4, 1.5, "1.5000"},
      {0, 4, 2, "2.0000"},
      {0, 4, 1234.56789, "1234.5678"},  // cut, not rounded
      {0, 2, 0.999, "0.99"},
      {0, 4, 1.0 / 3, "0.3333"},
      {0, 2, -0.5, "-0.50"},
      {0, 0, 1.75, "1"},
      {0, -1, 12, "12"},
      {6, 2, 3.14159, "003.14"},
      {5, 0, -3, "000-3"},
      {0, 3, 0.0001, "0.000"},
      {0, 2, 1e15, "0.00"},   // exponent form
      {0, 3, 1e-5, "0.000"},  // exponent form
      {0, 0, 1e20, "0"},
      {0, 2, 123456789012345.678, "123456789012346.00"},  // 15 significant digits
      {0, 2, -0.0, "0.00"},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(FormatNumber(C.MinWidth, C.Decimals, C.Value), C.Expected)
        << C.MinWidth << ", " << C.Decimals << ", " << C.Value;
}

// The integer-arithmetic path must write exactly what the library writes:
// compared on values of every magnitude it takes, on values with few decimals
// (as coordinates are), on neighbours of powers of ten and on exact ties.
// The one-pass reading of plain number text gives what the general reading
// gives: a leading space sends the same text the general way (it skips
// spaces), so the two must agree bit for bit, on every shape around the
// plain one.
TEST(StrToNumber, PlainTextReadsAsTheGeneralWay) {
  std::vector<std::string> Texts = {"",        "-",          ".",         "-.",        "5.",         "-5.",
                                    "-0",      "-0.0",       "0.0",       "007",       "-007.0700",  "123456789",
                                    "1234567890", "-2147483648", "2147483648", "999999999.999999999", "1.1234567891234",
                                    ".5",      "-.5",        "1-2",       "-1.-5",     "1..2",       "1.2.3"};
  std::mt19937_64 Rng(3);
  const std::string Alphabet = "0123456789.-";
  for (int I = 0; I < 200000; ++I) {
    std::string T;
    if (Rng() % 2) {
      // Plain text: sign, integer digits, point, fraction digits.
      if (Rng() % 3 == 0) T += '-';
      for (int D = static_cast<int>(Rng() % 12); D > 0; --D) T += static_cast<char>('0' + Rng() % 10);
      if (Rng() % 4) {
        T += '.';
        for (int D = static_cast<int>(Rng() % 13); D > 0; --D) T += static_cast<char>('0' + Rng() % 10);
      }
    } else {
      for (int D = static_cast<int>(Rng() % 8); D > 0; --D) T += Alphabet[Rng() % Alphabet.size()];
    }
    Texts.push_back(T);
  }
  for (const std::string& T : Texts)
    ASSERT_EQ(std::bit_cast<uint64_t>(StrToNumber(T)), std::bit_cast<uint64_t>(StrToNumber(" " + T))) << '"' << T << '"';
}

TEST(FormatNumber, FixedGeneralTextIsTheLibrarysText) {
  auto Library = [](double V) {
    char Buf[64];
    return std::string(Buf, std::to_chars(Buf, Buf + sizeof Buf, V, std::chars_format::general, 15).ptr);
  };
  std::vector<double> Values = {0.0001, 0.001, 0.01, 0.1, 1, 10, 1e13, 99999999999999.99, 99999999999999.5,
                                9.9999999999999995, 0.99999999999999994, 12345678901234.5, 12345678901235.5,
                                1234567890123.25, 0.00012345678901234567, 717.516, 728.616, 110.028};
  for (int K = -4; K <= 13; ++K) {
    const double P = std::pow(10.0, K);
    Values.push_back(P);
    Values.push_back(std::nextafter(P, 0.0));
    Values.push_back(std::nextafter(P, 1e300));
  }
  uint64_t State = 0x9E3779B97F4A7C15u;
  auto Next = [&] {
    State ^= State << 13;
    State ^= State >> 7;
    State ^= State << 17;
    return State;
  };
  for (int I = 0; I < 200000; ++I) {
    // A random mantissa at a random scale, and a number of thousandths.
    Values.push_back(std::ldexp(static_cast<double>(Next() >> 11), static_cast<int>(Next() % 100) - 100));
    Values.push_back(static_cast<double>(static_cast<int64_t>(Next() % 2000000000) - 1000000000) / 1000.0);
    Values.push_back(static_cast<double>(Next() % 100000) * 0.01 + static_cast<double>(Next() % 7) * 0.1);
  }
  int Compared = 0;
  for (double V : Values)
    for (double Signed : {V, -V}) {
      std::string Fast;
      if (!FixedGeneralText(Signed, Fast)) continue;
      ++Compared;
      ASSERT_EQ(Fast, Library(Signed)) << std::hexfloat << Signed;
    }
  EXPECT_GT(Compared, 500000);
}

// The page rows' numbers read back without their text: bit for bit what
// StrToNumber reads from the 4-decimal text (the sign of a zero included),
// on the edges of each path (zero, 10^-4, 10^9, the 32-bit integer range,
// 10^14, values that are not finite) and on coordinates of every size.
TEST(FormatNumber, NumberAsWrittenReadsWhatTheTextSays) {
  auto Bits = [](double V) { return std::bit_cast<uint64_t>(V); };
  std::vector<double> Values = {0.0,        1e-5,       0.0001,     0.00019999, 0.5,       0.99995,   1.00005,
                                72.12345,   700.0,      -0.00005,   999999999.99999994,      1e9,       2147483647.5,
                                2147483648, 4294967296, 1e14,       1e15,       1e300,     5e-324,    0.1 + 0.2,
                                std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
  for (int K = -5; K <= 16; ++K) {
    const double P = std::pow(10.0, K);
    Values.push_back(std::nextafter(P, 0.0));
    Values.push_back(P);
    Values.push_back(std::nextafter(P, 1e300));
  }
  uint64_t State = 0x2545F4914F6CDD1Du;
  auto Next = [&] {
    State ^= State << 13;
    State ^= State >> 7;
    State ^= State << 17;
    return State;
  };
  for (int I = 0; I < 100000; ++I) {
    // Any scale, device coordinates with a few decimals, and page units that
    // went through a scale factor.
    Values.push_back(std::ldexp(static_cast<double>(Next() >> 11), static_cast<int>(Next() % 120) - 110));
    Values.push_back(static_cast<double>(Next() % 200000000) / 1000.0);
    Values.push_back(static_cast<double>(Next() % 100000) * 0.01 * 0.352777777);
  }
  for (double V : Values)
    for (double Signed : {V, -V})
      ASSERT_EQ(Bits(NumberAsWritten(Signed)), Bits(StrToNumber(FormatNumber(0, 4, Signed))))
          << std::hexfloat << Signed << " " << FormatNumber(0, 4, Signed);
}

TEST(UnescapeLiteralString, ContentStreamEscapes) {
  struct Case {
    std::string Token, Expected;
  } Cases[] = {
      {"(abc)", "abc"},
      {"()", ""},
      {"(a\\nb\\r\\t\\b\\f)", "a\nb\r\t\b\f"},
      {"(\\(x\\)\\\\)", "(x)\\"},
      {"(\\101)", "A"},
      {"(\\7)", "\x07"},
      {"(\\12x)", "\nx"},
      {"(\\0053)", std::string("\x05") + "3"},
      {"(\\777)", "\xFF"},    // 511 modulo 256
      {"(\\189)", "\x89"},    // 8 and 9 pass while the value is within 777
      {"(\\999)", "999"},     // not an escape: the backslash goes
      {"(\\q)", "q"},         // unknown escape loses its backslash
      {"(a\\\r\nb)", "ab"},   // line continuation
      {"(a\\\nb)", "ab"},
      {"(a\rb)", "a\rb"},     // a bare CR stays
      {"(a\\)", "a"},         // lone trailing backslash
  };
  for (const auto& C : Cases) EXPECT_EQ(UnescapeLiteralString(C.Token), C.Expected) << C.Token;
}

TEST(HexStringToBytes, ContentStreamForm) {
  struct Case {
    std::string Token, Expected;
  } Cases[] = {
      {"<48656c6c6F>", "Hello"},
      {"<48 65\n6c6c 6F>", "Hello"},
      {"<414>", "A@"},                 // odd count: a 0 is appended
      {"<4G>", std::string(1, '\0')},  // a pair that is not hex gives 0
      {"<>", ""},
      {"41>", ""},
      {"<41", ""},
  };
  for (const auto& C : Cases) EXPECT_EQ(HexStringToBytes(C.Token), C.Expected) << C.Token;
}

}  // namespace
