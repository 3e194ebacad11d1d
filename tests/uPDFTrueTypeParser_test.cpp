// TrueType programs: advances, post-table names, and damaged files.
#include "uPDFTrueTypeParser.h"

#include <gtest/gtest.h>

#include "TestFonts.h"

namespace {

uint32_t ReadU32(const std::string& S, size_t At) {
  uint32_t V = 0;
  for (size_t I = 0; I < 4; ++I) V = V << 8 | static_cast<unsigned char>(S[At + I]);
  return V;
}

TPDFTrueTypeParser Parse(const std::string& Data) {
  TPDFTrueTypeParser P;
  P.LoadFromData(Data);
  return P;
}

TEST(TPDFTrueTypeParser, AdvancesAndGlyphNames) {
  TTestTrueType F;
  F.UnitsPerEm = 2048;
  F.Advances = {1024, 2048, 500};
  F.NumGlyphs = 5;  // two glyphs beyond the long metrics
  F.Names = {"#0", "#36", "a", "dotlessj", "a"};  // .notdef, A (standard), own names
  const auto P = Parse(MakeTrueType(F));
  EXPECT_EQ(P.UnitsPerEm, 2048u);
  EXPECT_EQ(P.NumGlyphs, 5u);
  EXPECT_EQ(P.Advances, (std::vector<uint32_t>{500, 1000, 244}));  // x 1000 div 2048
  EXPECT_EQ(P.AdvanceOf(1), 1000u);
  EXPECT_EQ(P.AdvanceOf(4), 244u);   // beyond the metrics: the last one
  EXPECT_EQ(P.AdvanceOf(70), 244u);
  EXPECT_EQ(P.GlyphIndexOfName(".notdef"), 0);
  EXPECT_EQ(P.GlyphIndexOfName("A"), 1);
  EXPECT_EQ(P.GlyphIndexOfName("a"), 4);  // the last glyph of that name
  EXPECT_EQ(P.GlyphIndexOfName("dotlessj"), 3);
  EXPECT_EQ(P.GlyphIndexOfName("b"), -1);
  EXPECT_EQ(P.GlyphIndexOfName("A "), -1);
}

TEST(TPDFTrueTypeParser, PostTableVersions) {
  struct Case {
    const char* What;
    uint32_t Version;
    std::vector<std::string> Names;
    uint16_t NumGlyphs;
    std::vector<std::string> Expected;
  } Cases[] = {
      {"1.0: the standard names, as many as glyphs", 0x00010000, {}, 3, {".notdef", ".null", "nonmarkingreturn"}},
      {"2.0: no more names than glyphs", 0x00020000, {"#3", "x", "y"}, 2, {"space", "x"}},
      {"2.5: offsets into the standard names", 0x00025000, {"#1", "#35", "#-1", "#-3"}, 4, {".null", "A", ".null", ""}},
      {"3.0: no names", 0x00030000, {}, 3, {}},
      {"unknown version: no names", 0x00040000, {}, 3, {}},
  };
  for (const auto& C : Cases) {
    TTestTrueType F;
    F.Advances = {500};
    F.NumGlyphs = C.NumGlyphs;
    F.PostVersion = C.Version;
    F.Names = C.Names;
    EXPECT_EQ(Parse(MakeTrueType(F)).GlyphNames, C.Expected) << C.What;
  }
}

TEST(TPDFTrueTypeParser, ProgramsThatAreNotTrueTypeReadNothing) {
  TTestTrueType F;
  F.Advances = {600};
  F.Names = {"A"};
  for (uint32_t Version : {0x4F54544Fu /* OTTO */, 0x74746366u /* ttcf */, 0x00020000u}) {
    F.Version = Version;
    const auto P = Parse(MakeTrueType(F));
    EXPECT_TRUE(P.Tables.empty()) << std::hex << Version;
    EXPECT_EQ(P.AdvanceOf(0), 750u);
    EXPECT_EQ(P.GlyphIndexOfName("A"), -1);
  }
  for (uint32_t Version : {0x74727565u /* true */, 0x74797031u /* typ1 */}) {
    F.Version = Version;
    EXPECT_EQ(Parse(MakeTrueType(F)).GlyphIndexOfName("A"), 0) << std::hex << Version;
  }
}

TEST(TPDFTrueTypeParser, DamagedProgramsReadWhatTheyHold) {
  TTestTrueType F;
  F.Advances = {600, 700};
  F.Names = {"A", "B"};
  // unitsPerEm 0 keeps the default instead of dividing by zero.
  F.UnitsPerEm = 0;
  EXPECT_EQ(Parse(MakeTrueType(F)).AdvanceOf(0), 600u * 1000 / 2048);
  F.UnitsPerEm = 1000;
  // An hhea of another version gives no metrics.
  F.HheaVersion = 0x00020000;
  EXPECT_EQ(Parse(MakeTrueType(F)).AdvanceOf(0), 750u);
  F.HheaVersion = 0x00010000;
  // A post table claiming 65535 names: no more than the glyphs, and no more
  // than its bytes hold.
  F.PostGlyphCount = 65535;
  EXPECT_EQ(Parse(MakeTrueType(F)).GlyphNames.size(), 2u);
  F.NumGlyphs = 65535;
  EXPECT_LE(Parse(MakeTrueType(F)).GlyphNames.size(), 64u);
  F.PostGlyphCount = 0;
  F.NumGlyphs = 0;

  // Every prefix of a good program, and a directory claiming 65535 tables.
  const std::string Good = MakeTrueType(F);
  for (size_t N = 0; N <= Good.size(); ++N) Parse(Good.substr(0, N));
  std::string Claims = Good;
  Claims[4] = Claims[5] = '\xFF';
  EXPECT_LE(Parse(Claims).Tables.size(), Good.size() / 16);
  // Table offsets far beyond the end.
  std::string Far = Good;
  for (size_t At = 12 + 8; At < 12 + 16 * 5; At += 16) Far[At] = '\x7F';
  const auto P = Parse(Far);
  EXPECT_EQ(P.UnitsPerEm, 2048u);
  EXPECT_EQ(P.AdvanceOf(0), 750u);
}

TEST(TPDFTrueTypeParser, CharactersOfGlyphsFromTheCMapTable) {
  TTestTrueType F;
  F.Advances = {500, 600, 700, 800};
  F.Characters = {{0x41, 1}, {0x20, 1}, {0x4E2D, 2}, {0x1D400, 3}};
  const auto P = Parse(MakeTrueType(F));
  ASSERT_EQ(P.GlyphUnicodes.size(), 4u);
  EXPECT_EQ(P.GlyphUnicodes[0], 0u);       // .notdef has none
  EXPECT_EQ(P.GlyphUnicodes[1], 0x20u);    // the lowest of its characters
  EXPECT_EQ(P.GlyphUnicodes[2], 0x4E2Du);
  EXPECT_EQ(P.GlyphUnicodes[3], 0x1D400u);  // only the (3, 10) subtable reaches it

  // Every prefix, and format 4 segments and format 12 groups claiming far
  // more than the table holds, end.
  const std::string Good = MakeTrueType(F);
  for (size_t N = 0; N <= Good.size(); N += 3) Parse(Good.substr(0, N));
  std::string Claims = Good;
  const size_t CMap = Claims.find("cmap");
  ASSERT_NE(CMap, std::string::npos);
  const uint32_t At = ReadU32(Claims, CMap + 8);
  for (size_t I = At; I + 14 < Claims.size(); ++I)
    if (Claims[I] == '\0' && Claims[I + 1] == '\x0C') Claims[I + 12] = Claims[I + 13] = '\x7F';  // numGroups
  Claims[At + 4 + 16 + 6] = Claims[At + 4 + 16 + 7] = '\xFF';  // segCountX2
  Parse(Claims);
}

TEST(TPDFTrueTypeParser, AnInstalledFont) {
  const std::string Data = ReadWholeFile(LiberationSans);
  if (Data.empty()) GTEST_SKIP() << LiberationSans << " is not installed";
  const auto P = Parse(Data);
  EXPECT_EQ(P.UnitsPerEm, 2048u);
  EXPECT_GT(P.NumGlyphs, 2000u);
  // Liberation Sans keeps Arial's advances: A is 1366 units, space 569.
  EXPECT_EQ(P.AdvanceOf(P.GlyphIndexOfName("A")), 1366u * 1000 / 2048);
  EXPECT_EQ(P.AdvanceOf(P.GlyphIndexOfName("space")), 569u * 1000 / 2048);
  EXPECT_EQ(P.GlyphUnicodes.at(P.GlyphIndexOfName("A")), U'A');
  EXPECT_EQ(P.GlyphUnicodes.at(P.GlyphIndexOfName("Euro")), U'\u20AC');
}

}  // namespace
