// The image decoders: each codec on one test bitmap, the colour spaces and
// sample sizes on hand-made samples, inline images, and the limits.
#include "uPDFImage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "uPDFBudget.h"
#include "uPDFFlate.h"
#include "uPDFStructure.h"

namespace {

// The bytes of a literal, zero bytes included.
template <size_t N>
std::string B(const char (&S)[N]) {
  return std::string(S, N - 1);
}

std::string Fixture(const std::string& Name) {
  std::ifstream In(std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/images/" + Name, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

// An image stream of S with dictionary Dict (without << >>) and data Data.
TPDFStream* Image(TPDFStructure& S, const std::string& Dict, std::string Data) {
  TPDFStream* Stream = S.NewStream(std::move(Data));
  auto* D = As<TPDFDictionary>(S.ParseObject("<< /Type /XObject /Subtype /Image " + Dict + " >>"));
  EXPECT_NE(D, nullptr);
  Stream->SetDictionary(D);
  return Stream;
}

// Pixels that differ from Expected (gray) by more than Tolerance.
int Mismatches(const TPDFImage& Got, const std::string& Expected, int Tolerance) {
  int Bad = 0;
  for (size_t I = 0; I < Expected.size(); ++I) {
    int V = 0;
    for (int C = 0; C < Got.Components; ++C) V += static_cast<uint8_t>(Got.Pixels[I * Got.Components + C]);
    V /= Got.Components;
    if (std::abs(V - static_cast<uint8_t>(Expected[I])) > Tolerance) ++Bad;
  }
  return Bad;
}

// Every codec gives the test bitmap back (the JPEG ones within their loss).
TEST(Image, CodecsGiveTheBitmapBack) {
  const std::string Expected = Fixture("pattern.gray");
  ASSERT_EQ(Expected.size(), 96u * 40);
  struct TCase {
    const char* File;
    std::string Dict;
    int Components;
    int Tolerance;
    int MaxBad;
  } Cases[] = {
      {"pattern-g4.fax", "/Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 96 >> /ColorSpace /DeviceGray /BitsPerComponent 1", 1, 0, 0},
      {"pattern-g3.fax", "/Filter /CCITTFaxDecode /DecodeParms << /K 0 /Columns 96 >> /ColorSpace /DeviceGray /BitsPerComponent 1", 1, 0, 0},
      // Byte-aligned rows: group 4, modified Huffman without EOLs and with
      // them (whether /EndOfLine says so or not), mixed rows with EOLs and
      // without.
      {"pattern-g4-aligned.fax", "/Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 96 /EncodedByteAlign true >> /ColorSpace /DeviceGray /BitsPerComponent 1", 1, 0, 0},
      {"pattern-g3-aligned.fax", "/Filter /CCITTFaxDecode /DecodeParms << /K 0 /Columns 96 /EncodedByteAlign true >> /ColorSpace /DeviceGray /BitsPerComponent 1", 1, 0, 0},
      {"pattern-g3-aligned-eol.fax", "/Filter /CCITTFaxDecode /DecodeParms << /K 0 /Columns 96 /EncodedByteAlign true >> /ColorSpace /DeviceGray /BitsPerComponent 1", 1, 0, 0},
      {"pattern-g3-aligned-eol.fax", "/Filter /CCITTFaxDecode /DecodeParms << /K 0 /Columns 96 /EncodedByteAlign true /EndOfLine true >> /ColorSpace /DeviceGray /BitsPerComponent 1", 1, 0, 0},
      {"pattern-g32d-aligned.fax", "/Filter /CCITTFaxDecode /DecodeParms << /K 2 /Columns 96 /EncodedByteAlign true /EndOfLine true >> /ColorSpace /DeviceGray /BitsPerComponent 1", 1, 0, 0},
      {"pattern-g32d-aligned-noeol.fax", "/Filter /CCITTFaxDecode /DecodeParms << /K 2 /Columns 96 /EncodedByteAlign true >> /ColorSpace /DeviceGray /BitsPerComponent 1", 1, 0, 0},
      // Group 3 rows without EOLs and not aligned, as a file may store them
      // (EndOfLine false is the default): no TIFF reader takes them.
      {"pattern-g3-noeol.fax", "/Filter /CCITTFaxDecode /DecodeParms << /K 0 /Columns 96 >> /ColorSpace /DeviceGray /BitsPerComponent 1", 1, 0, 0},
      {"pattern-g32d-noeol.fax", "/Filter /CCITTFaxDecode /DecodeParms << /K 2 /Columns 96 >> /ColorSpace /DeviceGray /BitsPerComponent 1", 1, 0, 0},
      {"pattern.jbig2", "/Filter /JBIG2Decode /ColorSpace /DeviceGray /BitsPerComponent 1", 1, 0, 0},
      {"pattern-gray.jpg", "/Filter /DCTDecode /ColorSpace /DeviceGray /BitsPerComponent 8", 1, 64, 8},
      {"pattern-rgb.jpg", "/Filter /DCTDecode /ColorSpace /DeviceRGB /BitsPerComponent 8", 3, 64, 8},
      // Adobe's inverted CMYK, read right without a /Decode that says so.
      {"pattern-cmyk.jpg", "/Filter /DCTDecode /ColorSpace /DeviceCMYK /BitsPerComponent 8", 3, 64, 8},
      {"pattern.jp2", "/Filter /JPXDecode", 3, 0, 0},
      {"pattern.j2k", "/Filter /JPXDecode /ColorSpace /DeviceRGB", 3, 0, 0},
      // 4-bit palette indices: scaled to 8 bits they would all point past
      // the last entry, to its gray.
      {"pattern-index4.j2k", "/Filter /JPXDecode /ColorSpace [/Indexed /DeviceGray 3 <8000FF40>]", 1, 0, 0},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.File + C.Dict);
    TPDFStructure S;
    const TPDFImageResult R = DecodeImage(*Image(S, "/Width 96 /Height 40 " + C.Dict, Fixture(C.File)));
    ASSERT_TRUE(R.Ok()) << R.Error;
    EXPECT_EQ(R.Image.Width, 96);
    EXPECT_EQ(R.Image.Height, 40);
    EXPECT_EQ(R.Image.Components, C.Components);
    EXPECT_LE(Mismatches(R.Image, Expected, C.Tolerance), C.MaxBad);
  }
}

// The fax options: BlackIs1 makes 1 bits black, which gray samples read as
// white; a codec chained behind a stream filter reads that filter's output.
TEST(Image, FaxOptionsAndChains) {
  const std::string Expected = Fixture("pattern.gray");
  std::string Inverse = Expected;
  for (char& B : Inverse) B = static_cast<char>(255 - static_cast<uint8_t>(B));
  TPDFStructure S;
  // Both decoders: libtiff's, and ours for aligned rows.
  for (const char* File : {"pattern-g4.fax", "pattern-g4-aligned.fax"}) {
    SCOPED_TRACE(File);
    const std::string Align = std::string(File).find("aligned") != std::string::npos ? " /EncodedByteAlign true" : "";
    const TPDFImageResult Plain = DecodeImage(*Image(
        S, "/Width 96 /Height 40 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 96 /BlackIs1 true" + Align +
               " >> /ColorSpace /DeviceGray /BitsPerComponent 1",
        Fixture(File)));
    ASSERT_TRUE(Plain.Ok()) << Plain.Error;
    EXPECT_EQ(Mismatches(Plain.Image, Inverse, 0), 0);
  }
  // Flate, then the fax codec, its parameters second in the array; a
  // /Decode [1 0] inverts.
  const TPDFImageResult Chained = DecodeImage(*Image(
      S, "/Width 96 /Height 40 /Filter [/FlateDecode /CCITTFaxDecode] /DecodeParms [null << /K -1 /Columns 96 >>] "
         "/ColorSpace /DeviceGray /BitsPerComponent 1 /Decode [1 0]",
      DeflateBytes(Fixture("pattern-g4.fax"))));
  ASSERT_TRUE(Chained.Ok()) << Chained.Error;
  EXPECT_EQ(Mismatches(Chained.Image, Inverse, 0), 0);
}

// A 1-bit image under Flate with a PNG predictor (as scanners write them):
// rows of 2 bytes, each behind its filter type.
TEST(Image, OneBitImageUnderAPredictor) {
  TPDFStructure S;
  const std::string Rows = B("\x01\x0F\x01\x02\xF0\x10");  // Sub, then Up
  const TPDFImageResult R = DecodeImage(*Image(
      S, "/Width 12 /Height 2 /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /FlateDecode "
         "/DecodeParms << /Predictor 15 /Colors 1 /BitsPerComponent 1 /Columns 12 >>",
      DeflateBytes(Rows)));
  ASSERT_TRUE(R.Ok()) << R.Error;
  // 0x0F 0x10 then 0xFF 0x20: the first row's 5th to 8th and 12th pixels
  // white, the second row's first 8 and 11th.
  std::string Expected;
  for (const char* Row : {"000011110001", "111111110010"})
    for (const char* C = Row; *C; ++C) Expected += *C == '1' ? '\xFF' : '\0';
  EXPECT_EQ(R.Image.Pixels, Expected);
}

// Unfiltered samples through each colour space, sample size and /Decode:
// the first pixel's bytes.
TEST(Image, ColourSpacesAndSampleSizes) {
  struct TCase {
    const char* Name;
    std::string Dict;
    std::string Data;
    std::string Pixel;  // the first pixel's bytes
  } Cases[] = {
      {"gray 8", "/ColorSpace /DeviceGray /BitsPerComponent 8", B("\x40"), B("\x40")},
      {"gray 1", "/ColorSpace /DeviceGray /BitsPerComponent 1", B("\x80"), B("\xFF")},
      {"gray 2", "/ColorSpace /DeviceGray /BitsPerComponent 2", B("\x40"), B("\x55")},
      {"gray 4", "/ColorSpace /DeviceGray /BitsPerComponent 4", B("\xF0"), B("\xFF")},
      {"gray 16", "/ColorSpace /DeviceGray /BitsPerComponent 16", B("\x80\x00"), B("\x80")},
      {"gray decoded inverse", "/ColorSpace /DeviceGray /BitsPerComponent 8 /Decode [1 0]", B("\x40"), B("\xBF")},
      {"CalGray", "/ColorSpace [/CalGray << /WhitePoint [1 1 1] >>] /BitsPerComponent 8", B("\x10"), B("\x10")},
      {"rgb", "/ColorSpace /DeviceRGB /BitsPerComponent 8", B("\x10\x20\x30"), B("\x10\x20\x30")},
      {"CalRGB 4", "/ColorSpace [/CalRGB << /WhitePoint [1 1 1] >>] /BitsPerComponent 4", B("\xF0\x0F"), B("\xFF\x00\x00")},
      {"cmyk", "/ColorSpace /DeviceCMYK /BitsPerComponent 8", B("\xFF\x00\x00\x00"), B("\x00\xFF\xFF")},
      {"cmyk black", "/ColorSpace /DeviceCMYK /BitsPerComponent 8", B("\x00\x00\x00\xFF"), B("\0\0\0")},
      {"ICC by N", "/ColorSpace [/ICCBased 9 0 R] /BitsPerComponent 8", B("\x10\x20\x30"), B("\x10\x20\x30")},
      {"indexed string", "/ColorSpace [/Indexed /DeviceRGB 1 <FF000000FF00>] /BitsPerComponent 8", B("\x01"), B("\x00\xFF\x00")},
      {"indexed gray", "/ColorSpace [/Indexed /DeviceGray 3 <00405080>] /BitsPerComponent 2", B("\xC0"), B("\x80")},
      {"indexed beyond hival", "/ColorSpace [/Indexed /DeviceGray 1 <0040>] /BitsPerComponent 8", B("\x09"), B("\x40")},
      {"indexed short lookup", "/ColorSpace [/Indexed /DeviceGray 3 <FF>] /BitsPerComponent 8", B("\x02"), B("\0")},
      {"separation", "/ColorSpace [/Separation /Spot /DeviceCMYK 10 0 R] /BitsPerComponent 8", B("\xFF"), B("\0")},
      {"separation none", "/ColorSpace [/Separation /Spot /DeviceCMYK 10 0 R] /BitsPerComponent 8", B("\0"), B("\xFF")},
      {"devicen", "/ColorSpace [/DeviceN [/A /B] /DeviceCMYK 10 0 R] /BitsPerComponent 8", B("\x00\x80"), B("\x7F")},
      {"mask", "/ImageMask true", B("\0"), B("\0")},
      {"mask decode", "/ImageMask true /Decode [1 0]", B("\0"), B("\xFF")},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TPDFStructure S;
    auto* Profile = S.NewStream("");
    Profile->Dictionary()->SetValue("N", S.NewNumber(3));
    // Indirect objects are resolved through the structure's resolver.
    S.OnResolveReference = [&](TPDFIndRef*, int32_t Number, int32_t) -> TPDFObject* {
      return Number == 9 ? static_cast<TPDFObject*>(Profile) : S.NewDictionary();
    };
    const TPDFImageResult R = DecodeImage(*Image(S, "/Width 1 /Height 1 " + C.Dict, C.Data));
    ASSERT_TRUE(R.Ok()) << R.Error;
    EXPECT_EQ(R.Image.Pixels, C.Pixel);
  }
}

TEST(Image, IndexedLookupStreamAndMaskFill) {
  TPDFStructure S;
  auto* Lookup = S.NewStream(DeflateBytes(std::string("\x00\x00\x00\x12\x34\x56", 6)));
  Lookup->Dictionary()->SetValue("Filter", S.NewName("FlateDecode"));
  S.OnResolveReference = [&](TPDFIndRef*, int32_t, int32_t) -> TPDFObject* { return Lookup; };
  const TPDFImageResult R = DecodeImage(*Image(S, "/Width 2 /Height 1 /ColorSpace [/Indexed /DeviceRGB 1 7 0 R] /BitsPerComponent 1", "\x40"));
  ASSERT_TRUE(R.Ok()) << R.Error;
  EXPECT_EQ(R.Image.Pixels, std::string("\x00\x00\x00\x12\x34\x56", 6));
  const TPDFImageResult Red = DecodeImage(*Image(S, "/Width 2 /Height 1 /ImageMask true", "\x40"), nullptr, {}, {200, 0, 0});
  ASSERT_TRUE(Red.Ok()) << Red.Error;
  EXPECT_EQ(Red.Image.Components, 3);
  EXPECT_EQ(Red.Image.Pixels, std::string("\xC8\x00\x00\xFF\xFF\xFF", 6));
}

// Rows are byte-aligned, and samples cut short read as black.
TEST(Image, RowsAreByteAlignedAndShortDataReadsAsZero) {
  TPDFStructure S;
  const TPDFImageResult R = DecodeImage(*Image(S, "/Width 3 /Height 3 /ColorSpace /DeviceGray /BitsPerComponent 1", "\xA0\x40"));
  ASSERT_TRUE(R.Ok()) << R.Error;
  EXPECT_EQ(R.Image.Pixels, std::string("\xFF\x00\xFF\x00\xFF\x00\x00\x00\x00", 9));
}

TEST(Image, InlineImagesSpellOutTheirAbbreviations) {
  TPDFStructure S;
  TPDFStream* Stream = InlineImageStream(S, "/W 2 /H 1 /CS /RGB /BPC 8 /F [/AHx] /D [1 0 1 0 1 0]", "000000FFFFFF>");
  ASSERT_NE(Stream, nullptr);
  EXPECT_NE(Stream->Dictionary()->GetValue("BitsPerComponent"), nullptr);
  const TPDFImageResult R = DecodeImage(*Stream);
  ASSERT_TRUE(R.Ok()) << R.Error;
  EXPECT_EQ(R.Image.Pixels, std::string("\xFF\xFF\xFF\x00\x00\x00", 6));
  // A named space comes from the resources.
  auto* Resources = As<TPDFDictionary>(S.ParseObject("<< /ColorSpace << /P [/I /G 1 <2080>] >> >>"));
  TPDFStream* Named = InlineImageStream(S, "/W 1 /H 1 /CS /P /BPC 8", std::string("\x01", 1));
  const TPDFImageResult P = DecodeImage(*Named, Resources);
  ASSERT_TRUE(P.Ok()) << P.Error;
  EXPECT_EQ(P.Image.Pixels, "\x80");
}

// Where an inline image's data end: their length, the JPEG markers, or the
// first EI after white space, whichever the dictionary allows; the data that
// hold an "EI" of their own are not cut there, and lose one white-space byte
// before the EI.
TEST(Image, InlineImageScanFindsTheEI) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Tokens;  // the dictionary's, up to ID
    std::string Content;              // from the data on
    std::string Data;                 // where they end
    std::string Rest;                 // what follows EI
  } Cases[] = {
      {"length of unfiltered samples", {"/W", "4", "/H", "1", "/CS", "/G", "/BPC", "8"}, "a EI\n EI Q", "a EI\n", " Q"},
      {"a mask is one bit deep", {"/IM", "true", "/W", "16", "/H", "1", "/BPC", "8"}, "EI\n EI q", "EI\n", " q"},
      {"RGB rows", {"/W", "1", "/H", "2", "/CS", "/RGB"}, "EI EI  EI\nQ", "EI EI ", "\nQ"},
      {"a filter: the first EI", {"/W", "4", "/H", "1", "/F", "/AHx"}, "61 62 EI Q", "61 62", " Q"},
      {"a filter array", {"/W", "1", "/H", "1", "/F", "[", "/A85", "/DCT", "]"}, "z~> EI Q", "z~>", " Q"},
      {"JPEG markers", {"/W", "1", "/H", "1", "/F", "/DCT"},
       B("\xFF\xD8\xFF\xFE\x00\x06 EI \xFF\xD9\nEI Q"), B("\xFF\xD8\xFF\xFE\x00\x06 EI \xFF\xD9"), " Q"},
      {"a length that misses EI", {"/W", "2", "/H", "1"}, "abcdef EI Q", "abcdef", " Q"},
      {"no EI", {"/W", "9", "/H", "9", "/F", "/Fl"}, "xyzEIQ ", "xyzEIQ", ""},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TPDFInlineImageScan Scan;
    for (const std::string& T : C.Tokens) EXPECT_TRUE(Scan.Take(T));
    EXPECT_FALSE(Scan.Take("ID"));
    const std::string Content = "BI ID " + C.Content;
    const TPDFInlineImageScan::TEnd End = Scan.Find(Content, 6);
    ASSERT_LE(End.DataEnd, End.End);
    ASSERT_LE(End.End, Content.size());
    EXPECT_EQ(Content.substr(6, End.DataEnd - 6), C.Data);
    EXPECT_EQ(Content.substr(End.End), C.Rest);
  }

  // JPEG data without an end marker walk on over every image after them,
  // each walked again by the image before: the page's budget counts the
  // bytes walked, and once it is spent the rest of the content is taken.
  std::string Many;
  for (int I = 0; I < 2000; ++I) Many += B("BI /F /DCT ID \xFF\xD8\x00\x02 EI\n");
  TPDFInlineImageScan Scan;
  for (const char* T : {"/F", "/DCT"}) Scan.Take(T);
  ASSERT_FALSE(Scan.Take("ID"));
  EXPECT_EQ(Scan.Find(Many, 14).End, 21u);  // without a budget: the first EI
  TPDFLimits Limits;
  Limits.ContentBytes = 100000;
  TPDFPageBudget Budget(Limits);
  size_t At = 14, Images = 0;
  while (At < Many.size() && !Budget.Exhausted()) {
    At = Scan.Find(Many, At, &Budget).End + 15;  // the next image's data
    ++Images;
  }
  EXPECT_TRUE(Budget.Exhausted());
  EXPECT_EQ(Budget.Exceeded(), TPDFBudgetKind::ContentBytes);
  EXPECT_LT(Images, 100u);
}

// Hostile sizes end with a cause, before anything is allocated for them.
TEST(Image, LimitsAndBadInput) {
  TPDFImageLimits Small;
  Small.MaxPixels = 1000;
  Small.MaxBytes = 1 << 20;
  struct TCase {
    const char* Name;
    std::string Dict;
    std::string Data;
    const char* Cause;
  } Cases[] = {
      {"pixels", "/Width 100 /Height 100 /ColorSpace /DeviceGray /BitsPerComponent 8", "", "too large"},
      {"negative", "/Width -5 /Height 10 /ColorSpace /DeviceGray", "", "no pixels"},
      {"bits", "/Width 2 /Height 2 /ColorSpace /DeviceGray /BitsPerComponent 3", "", "bits per component"},
      {"pattern", "/Width 2 /Height 2 /ColorSpace /Pattern /BitsPerComponent 8", "", "Pattern"},
      {"unknown name", "/Width 2 /Height 2 /ColorSpace /Nope /BitsPerComponent 8", "", "not known"},
      {"jpeg header", "/Width 2 /Height 2 /ColorSpace /DeviceGray /Filter /DCTDecode", "\xFF\xD8garbage", "JPEG"},
      {"jpeg size", "/Width 2 /Height 2 /Filter /DCTDecode /ColorSpace /DeviceGray", Fixture("pattern-gray.jpg"), "too large"},
      {"jpx garbage", "/Width 2 /Height 2 /Filter /JPXDecode", "\xFF\x4F\xFF\x51", "JPEG 2000"},
      {"jpx size", "/Filter /JPXDecode", Fixture("pattern.jp2"), "too large"},
      {"jbig2 empty", "/Width 2 /Height 2 /ColorSpace /DeviceGray /Filter /JBIG2Decode", "", "JBIG2"},
      {"fax columns", "/Width 2 /Height 2 /ColorSpace /DeviceGray /Filter /CCITTFaxDecode /DecodeParms << /Columns 100000 >>", "", "too large"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TPDFStructure S;
    const TPDFImageResult R = DecodeImage(*Image(S, C.Dict, C.Data), nullptr, Small);
    EXPECT_FALSE(R.Ok());
    EXPECT_NE(R.Error.find(C.Cause), std::string::npos) << R.Error;
  }
}

// Damaged coded data give what came before the fault, never a read outside
// the data.
TEST(Image, DamagedCodedDataStayInBounds) {
  const char* Files[] = {"pattern-g4.fax", "pattern-g3.fax", "pattern.jbig2", "pattern-gray.jpg", "pattern.jp2",
                         "pattern-g4-aligned.fax"};
  const char* Filters[] = {"/CCITTFaxDecode /DecodeParms << /K -1 /Columns 96 >>",
                           "/CCITTFaxDecode /DecodeParms << /K 0 /Columns 96 >>", "/JBIG2Decode", "/DCTDecode",
                           "/JPXDecode", "/CCITTFaxDecode /DecodeParms << /K -1 /Columns 96 /EncodedByteAlign true >>"};
  for (int I = 0; I < 6; ++I) {
    const std::string Data = Fixture(Files[I]);
    for (size_t Cut : {size_t{1}, Data.size() / 3, Data.size() / 2, Data.size() - 1}) {
      TPDFStructure S;
      std::string Damaged = Data.substr(0, Cut);
      for (size_t B = Cut / 2; B < Damaged.size(); B += 7) Damaged[B] = static_cast<char>(Damaged[B] ^ 0x5A);
      const TPDFImageResult R = DecodeImage(*Image(
          S, std::string("/Width 96 /Height 40 /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter ") + Filters[I], Damaged));
      if (R.Ok()) {
        EXPECT_EQ(R.Image.Pixels.size(), static_cast<size_t>(R.Image.Width) * R.Image.Height * R.Image.Components);
      }
    }
  }
}

}  // namespace

namespace {

// A picture two pixels wide and three high, turned by each number of
// quarter turns: a quarter turn clockwise makes its left column its top row.
TEST(TurnImage, QuarterTurnsClockwise) {
  const TPDFImage Image{2, 3, 1, "abcdef"};  // rows "ab", "cd", "ef"
  struct Case {
    int Turns;
    int32_t Width, Height;
    const char* Pixels;
  } Cases[] = {{0, 2, 3, "abcdef"}, {1, 3, 2, "ecafdb"}, {2, 2, 3, "fedcba"},
               {3, 3, 2, "bdface"}, {4, 2, 3, "abcdef"}, {-1, 3, 2, "bdface"}};
  for (const Case& C : Cases) {
    const TPDFImage Out = TurnImage(Image, C.Turns);
    EXPECT_EQ(Out.Width, C.Width) << C.Turns;
    EXPECT_EQ(Out.Height, C.Height) << C.Turns;
    EXPECT_EQ(Out.Pixels, C.Pixels) << C.Turns;
  }
  // Mirrored, the columns are taken right to left before the turn: a
  // mirror and a half turn read a picture stored upside down.
  struct MirrorCase {
    int Turns;
    const char* Pixels;
  } Mirrors[] = {{0, "badcfe"}, {1, "fdbeca"}, {2, "efcdab"}, {3, "acebdf"}};
  for (const MirrorCase& C : Mirrors) EXPECT_EQ(TurnImage(Image, C.Turns, true).Pixels, C.Pixels) << C.Turns;
  EXPECT_EQ(TurnImage(Image, 0, true).Width, 2);
  // Three components move together; pixels short of the size give nothing.
  EXPECT_EQ(TurnImage({1, 2, 3, "RGBrgb"}, 1).Pixels, "rgbRGB");
  EXPECT_TRUE(TurnImage({4, 4, 1, "short"}, 1).Pixels.empty());
}

}  // namespace
