// Test-only font programs and installed fonts: a writer of small TrueType
// programs, a stand-in for the installed fonts, and the Debian font files the
// tests embed.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "SystemFonts.h"

// A TrueType program with the tables text reads: head, maxp, hhea, hmtx and
// post (version 2.0 names unless PostVersion says otherwise).
struct TTestTrueType {
  uint32_t Version = 0x00010000;
  uint16_t UnitsPerEm = 1000;
  uint16_t NumGlyphs = 0;  // 0: one per advance
  std::vector<uint16_t> Advances;
  uint32_t HheaVersion = 0x00010000;
  uint32_t PostVersion = 0x00020000;
  // Version 2.0: "#N" is the standard Macintosh name N, anything else a name
  // of the font's own. Version 2.5: the signed offsets, as "#N" items.
  std::vector<std::string> Names;
  uint16_t PostGlyphCount = 0;  // 0: Names.size()
  // Character to glyph: when given, a cmap table with a (3, 1) format 4
  // subtable of the BMP characters and a (3, 10) format 12 subtable of all.
  std::map<uint32_t, uint16_t> Characters;
};
std::string MakeTrueType(const TTestTrueType& Font);

// Installed fonts made up by a test: families, and the file of each family
// and style (the style "" for a file every style of the family gets).
class TFakeSystemFonts final : public TSystemFonts {
 public:
  std::vector<std::string> Families{"Default"};
  std::map<std::tuple<std::string, bool, bool>, TFontFile> Files;
  // The requests, as "Family/bold/italic".
  std::vector<std::string> Requests;

  const std::vector<std::string>& FamilyList() override { return Families; }
  TFontFile FontFile(const std::string& Family, bool Bold, bool Italic, uint64_t MaxSize) override;
  void AddFile(const std::string& Family, std::string Bytes, bool Bold = false, bool Italic = false);
};

// The bytes of a file, or "" when it cannot be read.
std::string ReadWholeFile(const std::string& Path);

// Font files of Debian packages the tests use (fonts-urw-base35,
// fonts-liberation2).
inline constexpr const char* UrwType1Dir = "/usr/share/fonts/type1/urw-base35/";
inline constexpr const char* LiberationSans = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

// A Type 1 program file (.t1, encrypted part binary or hexadecimal) as a PDF embeds it: the clear text up to
// and including "eexec" and its line end, the encrypted part in binary, and
// the trailer from the zeros on. Lengths gives Length1, Length2 and Length3.
struct TType1Embedding {
  std::string Data;
  int64_t Length1 = 0, Length2 = 0, Length3 = 0;
};
TType1Embedding EmbedType1(const std::string& Program);
