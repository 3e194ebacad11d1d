// The row splitter and file name helpers.
#include "Utility.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(SplitString, FieldsEscapesAndQuotes) {
  using V = std::vector<std::string>;
  struct Case {
    std::string Line;
    V Expected;
  } Cases[] = {
      {"a,b,c", {"a", "b", "c"}},
      {"", {""}},
      {"a,", {"a", ""}},
      {",", {"", ""}},
      {"\"x,y\",z", {"x,y", "z"}},
      {"a\\,b,c", {"a,b", "c"}},
      {"\"q\\\"q\"", {"q\"q"}},
      {"a\\", {std::string("a\0", 2)}},  // an escape at the very end gives a zero byte
      {"ab\"c\"d", {"abcd"}},
      {"\"open,quote", {"open,quote"}},
  };
  for (const auto& C : Cases) EXPECT_EQ(SplitString(C.Line, ",", '\\', "\""), C.Expected) << C.Line;
  EXPECT_EQ(SplitString("a::b:c", "::", '\\', "\""), (V{"a", "b:c"}));
}

// The integer path writes exactly what the library writes: on the edges of
// each path (zero and its sign, 10^-3, 10^15, values that are not finite), on
// exact ties of the binary value, and on values of every size.
TEST(WriteFixed2, IsTheLibrarysText) {
  auto Library = [](double V) {
    char Buf[400];
    return std::string(Buf, std::to_chars(Buf, Buf + sizeof Buf, V, std::chars_format::fixed, 2).ptr);
  };
  std::vector<double> Values = {0,      1e-3,   0.004999, 0.005,  0.015,  0.025,  0.125,  0.375,    2.675,
                                72.125, 99.995, 1e15,     1e300,  5e-324, 2.5e-3, 123456789012345.67,
                                std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
  for (int K = -4; K <= 16; ++K) {
    const double P = std::pow(10.0, K);
    Values.push_back(std::nextafter(P, 0.0));
    Values.push_back(P);
    Values.push_back(std::nextafter(P, 1e300));
  }
  std::mt19937_64 Rng(42);
  for (int I = 0; I < 100000; ++I) {
    // Any scale; hundredths and thousandths (ties), as page distances are.
    Values.push_back(std::ldexp(static_cast<double>(Rng() >> 11), static_cast<int>(Rng() % 120) - 100));
    Values.push_back(static_cast<double>(Rng() % 100000000) / 1000.0);
    Values.push_back(static_cast<double>(Rng() % 100000) / 8.0);
  }
  for (double V : Values)
    for (double Signed : {V, -V}) {
      char Buf[400];
      ASSERT_EQ(std::string(Buf, WriteFixed2(Buf, Signed)), Library(Signed)) << std::hexfloat << Signed;
    }
}

TEST(FileNames, ExtensionAndName) {
  struct Case {
    std::string Path, Txt, Name;
  } Cases[] = {
      {"/docs/a.pdf", "/docs/a.txt", "a.pdf"},
      {"/docs/a.b.PDF", "/docs/a.b.txt", "a.b.PDF"},
      {"/docs.d/file", "/docs.d/file.txt", "file"},
      {"file", "file.txt", "file"},
      {"", ".txt", ""},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(ChangeFileExt(C.Path, ".txt"), C.Txt) << C.Path;
    EXPECT_EQ(ExtractFileName(C.Path), C.Name) << C.Path;
  }
}

}  // namespace
