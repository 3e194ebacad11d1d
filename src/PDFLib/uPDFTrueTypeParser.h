// Reader of TrueType programs, as far as text needs them: units per em, the
// horizontal advances and the glyph names of the post table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One table of the font's directory.
struct TTrueTypeTable {
  uint32_t Tag = 0;
  uint32_t Checksum = 0;
  uint32_t Offset = 0;
  uint32_t Length = 0;
};

// Reads a TrueType program once; afterwards it answers questions about it.
// Every read stops at the end of the data: a truncated or malformed program
// gives what could be read, and the defaults for the rest.
// Immutable once loaded: safe to read from several threads.
class TPDFTrueTypeParser {
 public:
  // Parses Data (any bytes). A program whose version is not 1.0, "true" or
  // "typ1" (an OpenType file with CFF outlines, a collection) reads nothing.
  void LoadFromData(std::string_view Data);

  // The last glyph whose post-table name is Name (exact), or -1.
  int32_t GlyphIndexOfName(std::string_view Name) const;
  // The advance of Glyph in 1/1000 em: its hmtx entry, the last entry for
  // glyphs beyond them, 750 when there are none.
  uint32_t AdvanceOf(int32_t Glyph) const;

  std::vector<TTrueTypeTable> Tables;
  uint32_t UnitsPerEm = 2048;
  uint32_t NumGlyphs = 0;
  uint32_t NumberOfHMetrics = 0;
  // advanceWidth * 1000 div UnitsPerEm, one per long horizontal metric.
  std::vector<uint32_t> Advances;
  // One name per glyph from the post table (empty when it names none).
  std::vector<std::string> GlyphNames;
  // The character of each glyph by the cmap table, read backwards: the
  // (3, 10), (3, 1) and (1, 0) subtables in that order, the lowest character
  // of a glyph within one; 0 for none. Indexed by glyph, as long as the
  // highest glyph mapped.
  std::vector<char32_t> GlyphUnicodes;

 private:
  const TTrueTypeTable* FindTable(const char (&Tag)[5]) const;
  void ReadPost(std::string_view Data, const TTrueTypeTable& Post);
  void ReadCMap(std::string_view Data, const TTrueTypeTable& CMap);

  std::unordered_map<std::string, int32_t> FNameIndex;  // name to its last glyph
};
