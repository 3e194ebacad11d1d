// The zlib bridge: inflate, the predictors and deflate.
#include "uPDFFlate.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<int>;

std::string Str(const Bytes& B) {
  std::string S;
  for (int V : B) S += static_cast<char>(V);
  return S;
}

std::string Compress(const std::string& Plain, int WindowBits = 15) {
  z_stream Z{};
  deflateInit2(&Z, 9, Z_DEFLATED, WindowBits, 8, Z_DEFAULT_STRATEGY);
  std::string Out(deflateBound(&Z, Plain.size()), '\0');
  Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Plain.data()));
  Z.avail_in = static_cast<uInt>(Plain.size());
  Z.next_out = reinterpret_cast<Bytef*>(Out.data());
  Z.avail_out = static_cast<uInt>(Out.size());
  deflate(&Z, Z_FINISH);
  Out.resize(Z.total_out);
  deflateEnd(&Z);
  return Out;
}

std::string Uncompress(const std::string& Data, size_t Size) {
  std::string Out(Size, '\0');
  uLongf Len = Size;
  if (uncompress(reinterpret_cast<Bytef*>(Out.data()), &Len, reinterpret_cast<const Bytef*>(Data.data()),
                 Data.size()) != Z_OK)
    return "<error>";
  Out.resize(Len);
  return Out;
}

std::string Text(size_t Size) {
  std::string S;
  uint32_t X = 1;
  while (S.size() < Size) {
    X = X * 1103515245 + 12345;
    S += "word" + std::to_string(X % 1000) + ' ';
  }
  S.resize(Size);
  return S;
}

TEST(InflateBytes, WholeTruncatedAndBrokenData) {
  const std::string Plain = Text(100000);
  const std::string Packed = Compress(Plain);
  EXPECT_EQ(InflateBytes(Packed), Plain);
  EXPECT_EQ(InflateBytes(""), "");

  // Cut in the middle: a non-empty prefix of the original.
  std::string Prefix = InflateBytes(Packed.substr(0, Packed.size() / 2));
  EXPECT_GT(Prefix.size(), 1000u);
  EXPECT_LT(Prefix.size(), Plain.size());
  EXPECT_EQ(Plain.compare(0, Prefix.size(), Prefix), 0);

  // A bad checksum is only seen after all bytes came out.
  std::string BadSum = Packed;
  BadSum.back() ^= 0x55;
  EXPECT_EQ(InflateBytes(BadSum), Plain);

  // No zlib header: nothing.
  EXPECT_EQ(InflateBytes(Compress(Plain, -15)), "");
  EXPECT_EQ(InflateBytes("not zlib data at all"), "");
}

TEST(InflateBytes, OutputStopsAtTheCap) {
  const std::string Zeros(64 << 20, '\0');
  const std::string Bomb = Compress(Zeros);
  ASSERT_LT(Bomb.size(), 100000u);
  std::string Out = InflateBytes(Bomb, 1 << 20);
  EXPECT_EQ(Out.size(), size_t{1} << 20);
  EXPECT_EQ(Out, Zeros.substr(0, 1 << 20));
  EXPECT_EQ(InflateBytes(Bomb, 0), "");
  EXPECT_EQ(InflateBytes(Compress("abc"), 2), "ab");
}

TEST(ApplyPredictor, PngRowsByType) {
  struct Case {
    const char* What;
    int Colors, Columns;
    Bytes In, Expected;
  } Cases[] = {
      {"Sub", 1, 3, {1, 10, 5, 250}, {10, 15, 9}},
      {"Up in the first row adds 0", 1, 3, {2, 10, 5, 250}, {10, 5, 250}},
      {"Sub, Up, Average, Paeth, unknown type; partial row dropped", 1, 3,
       {1, 10, 5, 250, 2, 1, 2, 3, 3, 0, 0, 0, 4, 1, 1, 1, 7, 9, 9, 9, 1, 2},
       {10, 15, 9, 11, 17, 12, 5, 11, 11, 6, 12, 13, 9, 9, 9}},
      {"Colors 3: the first pixel has Left 0 for every type", 3, 2,
       {1, 1, 2, 3, 10, 20, 30, 4, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0},
       {1, 2, 3, 11, 22, 33, 1, 2, 3, 11, 22, 33, 0, 1, 1, 5, 11, 17}},
      {"Paeth: Left wins a tie with UpLeft", 1, 2, {0, 3, 4, 4, 254, 0}, {3, 4, 1, 1}},
      {"Paeth: Up wins a tie with UpLeft", 1, 2, {0, 2, 4, 4, 255, 0}, {2, 4, 1, 4}},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(ApplyPredictor(Str(C.In), 12, C.Colors, 8, C.Columns), Str(C.Expected)) << C.What;
}

TEST(ApplyPredictor, TiffAndPassThrough) {
  const std::string Tiff = Str({1, 2, 3, 10, 20, 30, 5, 5, 5, 1, 1, 1, 7});
  EXPECT_EQ(ApplyPredictor(Tiff, 2, 3, 8, 2), Str({1, 2, 3, 11, 22, 33, 5, 5, 5, 6, 6, 6, 7}));
  EXPECT_EQ(ApplyPredictor(Str({1, 1, 1, 250, 10}), 2, 1, 8, 5), Str({1, 2, 3, 253, 7}));

  const std::string Rows = Str({1, 10, 5, 250, 2, 1, 2, 3});
  struct Case {
    const char* What;
    int Predictor, Colors, Bits, Columns;
  } Unchanged[] = {
      {"no predictor", 1, 1, 8, 3},       {"predictor 5", 5, 1, 8, 3},
      {"3-bit components", 12, 1, 3, 3},  {"TIFF with 2 colours", 2, 2, 8, 2},
      {"PNG, no columns", 12, 1, 8, 0},   {"PNG, negative columns", 12, 1, 8, -4},
      {"PNG, no colours", 12, 0, 8, 3},   {"PNG, absurd columns", 12, 1, 8, 2000000000},
      {"PNG, absurd colours", 12, 100000, 8, 3}, {"TIFF, no columns", 2, 1, 8, 0},
      {"TIFF, negative columns", 2, 3, 8, -1},
  };
  for (const auto& C : Unchanged)
    EXPECT_EQ(ApplyPredictor(Rows, C.Predictor, C.Colors, C.Bits, C.Columns), Rows) << C.What;

  // Rows longer than the data: no whole row.
  EXPECT_EQ(ApplyPredictor(Rows, 12, 1, 8, 100), "");
}

// Components of other sizes: rows of whole bytes, PNG's "left" one byte
// back for pixels under a byte, TIFF's sums per component modulo its size.
TEST(ApplyPredictor, ComponentSizes) {
  struct Case {
    const char* What;
    int Predictor, Colors, Bits, Columns;
    Bytes In, Expected;
  } Cases[] = {
      // 1 bit, 12 columns: rows of 2 bytes, Sub adds the byte before.
      {"PNG sub, up, 1 bit", 11, 1, 1, 12, {1, 0x0F, 0x01, 2, 0xF0, 0x10}, {0x0F, 0x10, 0xFF, 0x20}},
      {"PNG up, 4 bits", 12, 1, 4, 3, {2, 0x12, 0x30, 2, 0x11, 0x10}, {0x12, 0x30, 0x23, 0x40}},
      // PNG works on bytes, a pixel (two bytes) back; TIFF on samples.
      {"PNG sub, 16 bits", 11, 1, 16, 2, {1, 0x01, 0xFF, 0x00, 0x02}, {0x01, 0xFF, 0x01, 0x01}},
      {"TIFF, 16 bits", 2, 1, 16, 2, {0x01, 0xFF, 0x00, 0x02}, {0x01, 0xFF, 0x02, 0x01}},
      // 2 bits 3 2 2 3: 3, 2 + 3 = 1 (mod 4), 2 + 1 = 3, 3 + 3 = 2.
      {"TIFF, 2 bits", 2, 1, 2, 4, {0xEB}, {0xDE}},
      // 1 bit, 1 1 1 then 0 0 1: the second pixel 1 1 0; the pad bits stay.
      {"TIFF, 1 bit RGB", 2, 3, 1, 2, {0xE4}, {0xF8}},
  };
  for (const Case& C : Cases) EXPECT_EQ(ApplyPredictor(Str(C.In), C.Predictor, C.Colors, C.Bits, C.Columns), Str(C.Expected)) << C.What;
}

TEST(InflateWithPredictor, InflatesThenPredicts) {
  const std::string Rows = Str({2, 1, 2, 3, 4, 2, 1, 1, 1, 1});
  EXPECT_EQ(InflateWithPredictor(Compress(Rows), 12, 1, 8, 4), Str({1, 2, 3, 4, 2, 3, 4, 5}));
  EXPECT_EQ(InflateWithPredictor(Compress(Rows), 12, 1, 3, 4), Rows);
}

TEST(DeflateBytes, ZlibFormatRoundTrip) {
  EXPECT_EQ(DeflateBytes(""), "");
  std::string Random;
  uint32_t X = 12345;
  for (int I = 0; I < 200000; ++I) {
    X = X * 1103515245 + 12345;
    Random += static_cast<char>(X >> 24);
  }
  // Incompressible data needs more room than the first buffer.
  for (const std::string& Plain : {std::string("a"), std::string(100000, 'z'), Random}) {
    std::string Packed = DeflateBytes(Plain);
    ASSERT_GE(Packed.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(Packed[0]) & 0x0F, 8);  // zlib header: deflate
    EXPECT_EQ(Uncompress(Packed, Plain.size()), Plain);
    EXPECT_EQ(InflateBytes(Packed), Plain);
  }
}

}  // namespace
