// Encoding and metrics tables of the simple fonts: base encodings, glyph names
// to text, the standard fonts' widths, and the width sources of font
// dictionaries.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TPDFArray;
class TPDFDictionary;
class TCodePage;

enum class TPDFBaseEncoding { encStandard, encMacRoman, encWinAnsi, encPDFDoc, encMacExpert };

// Glyph name, text and advance (1/1000 text space) of each single-byte code.
using TPDFGlyphNames = std::array<std::string, 256>;
using TPDFCodeTexts = std::array<std::string, 256>;
using TPDFGlyphWidths = std::array<double, 256>;

// The advance a code has when no source gave it one.
inline constexpr double DefaultGlyphWidth = 750.0;

// ---------------------------------------------------------------- encodings

// Fills all 256 names of a base encoding (".notdef" where it has no glyph;
// WinAnsiEncoding's gaps are "A0space" at 160, "hyphen" at 173 and "bullet").
void GetEncodingGlyphNames(TPDFBaseEncoding Encoding, TPDFGlyphNames& Names);

// The built-in encoding of standard font 13 (Symbol) or 14 (ZapfDingbats):
// its glyph names by code, ".notdef" where it has none. Other fonts leave
// Names as they are.
void GetBuiltInEncoding(int StandardFont, TPDFGlyphNames& Names);

// For standard font 13 or 14: the text of each code whose glyph the font's
// built-in encoding has and WinAnsiEncoding lacks: the glyph list's
// characters for its name, or the built-in encoding's (ZapfDingbats' a1 ..
// a191), where CodePage has them; else U+FFFD where CodePage has that, else
// "?" (never the name). Other codes and fonts keep their texts.
void BuiltInGlyphTexts(int StandardFont, const TPDFGlyphNames& Names, TPDFCodeTexts& Texts, const TCodePage& CodePage);

// Applies a Differences array: a number sets the current code, a name is stored
// at the current code (when 0..255) and advances it; other items are skipped.
// A null array changes nothing.
void ApplyDifferences(TPDFGlyphNames& Names, const TPDFArray* Differences);

// The text of each code: a glyph name WinAnsiEncoding knows gives that
// WinAnsiEncoding byte (converted to CodePage); any other name the characters
// GlyphNameToUnicode gives when CodePage has them all; a name that gives no
// character U+FFFD when CodePage has it; else the name itself. An empty name
// gives the empty text. A name WinAnsiEncoding carries several times gives:
// "bullet" 149, "hyphen" 45, ".notdef" the control byte 1.
void GlyphNamesToTexts(const TPDFGlyphNames& Names, TPDFCodeTexts& Texts, const TCodePage& CodePage);

// The code a producer's numbering name stands for: a letter or two and up
// to three decimal digits ("a96", "g3", "cs65") or "x" and up to two
// hexadecimal digits ("x41"), naming a code of 0..255; -1 for any other name
// and for names the glyph list knows.
int NumericGlyphNameCode(std::string_view Name);
// Replaces each numbering name (NumericGlyphNameCode) by the name Encoding
// gives its code, when that is a name other than ".notdef".
void ResolveNumericGlyphNames(TPDFGlyphNames& Names, const TPDFGlyphNames& Encoding);

// "StandardEncoding", "MacRomanEncoding", "WinAnsiEncoding", "PDFDocEncoding",
// "MacExpertEncoding" (exact); anything else gives encStandard.
TPDFBaseEncoding EncodingFromName(std::string_view Name);

// The characters a glyph name stands for by the glyph list's rules: the name
// up to its first period, split at underscores into components, each a name
// of the glyph list, "uni" with groups of four hex digits, or "u" with four
// to six; empty when any component is none of these.
std::u32string GlyphNameToUnicode(std::string_view GlyphName);
// Characters as text in the code page: the ligatures U+FB00..U+FB06 as their
// letters, characters the code page lacks as its default character.
std::string UnicodeToText(std::u32string_view Chars, const TCodePage& CodePage);
// Whether the code page has every character of Chars (ligatures as their
// letters).
bool CodePageHasAll(std::u32string_view Chars, const TCodePage& CodePage);

// The WinAnsiEncoding code of a glyph name as GlyphNamesToTexts finds it, or -1.
int WinAnsiCodeOf(std::string_view GlyphName);

// ---------------------------------------------------------------- widths

// Standard fonts 1..12 (Courier ... Times-BoldItalic): every code gets the
// width of its glyph name from the font's metrics, 750 for a name the Latin
// table lacks; 13 (Symbol) the same from the Symbol metrics; 14
// (ZapfDingbats) and others change nothing.
void GetStandardFontWidths(int StandardFont, const TPDFGlyphNames& Names, TPDFGlyphWidths& Widths);

// FirstChar, LastChar (above 255 kept as 255) and Widths of a simple font
// override the widths of the codes they cover; a non-numeric element gives 0.
// FirstChar and LastChar receive the values read (0 when missing).
void ApplyWidthsArray(const TPDFDictionary* Font, TPDFGlyphWidths& Widths, int32_t& FirstChar, int32_t& LastChar);

// CID widths from a W array with default DW: the first entry listed for a CID
// wins. Lookups are constant time; building costs time in proportion to the
// array plus the CID range (0..65535), however the ranges overlap.
// Immutable once built: safe to read from several threads.
class TPDFCIDWidths {
 public:
  int32_t Default = 1000;
  // The width of Cid: its first listed entry, else Default.
  int32_t Width(int64_t Cid) const;
  // Sets Cid..Last to Width where no earlier entry set them (CIDs outside
  // 0..65535 are never looked up and are dropped).
  void AddRange(int64_t Cid, int64_t Last, int32_t Width);
  size_t EntryCount() const { return FCount; }

 private:
  std::vector<int32_t> FWidths;  // 65536 slots once an entry exists
  std::vector<uint32_t> FNextFree;  // skips over slots already set
  size_t FCount = 0;
  uint32_t FindFree(uint32_t Cid);
};

// The CID widths of a W array; DW gives the default, also without a W. Null
// when the font has neither: every CID then advances 1000.
std::unique_ptr<TPDFCIDWidths> BuildCIDWidths(const TPDFArray* W, const TPDFDictionary* Font);

// 1000 without a list; otherwise the CID's width or the list's default.
double GetCIDWidth(const TPDFCIDWidths* List, int64_t Cid);

// ================================================================ standard fonts

// One of the 14 standard fonts: the BaseFont names that stand for it (each
// followed by "*"), the installed font that stands in for it, and its ascent
// and descent.
struct TPDFStandardFont {
  const char* Patterns;
  const char* Substitute;
  double Ascent, Descent;
};

// The standard font a BaseFont name stands for (1 Courier .. 14 ZapfDingbats),
// 0 for none.
int StandardFontIndex(std::string_view BaseFont);
// The name of the installed font that stands in for standard font Index
// ("CourierNew", "Arial,Bold", ... "QuarnelDingbats"); "" outside 1..14.
const char* StandardFontSubstitute(int Index);
// Standard font Index (1..14), or null.
const TPDFStandardFont* StandardFont(int Index);

// The vertical metrics of a CID font written vertically: for each CID the
// vertical advance W1 (w1y in 1/1000 em, negative for down the page) and the
// position vector (VX, VY) from its horizontal origin to its vertical one.
// Each has the first entry listed for a CID, else its default: DW2 (VY 880,
// W1 -1000 without one), and for VX HalfWidth, half the CID's horizontal
// width.
class TPDFCIDVerticalMetrics {
 public:
  static constexpr int32_t HalfWidth = INT32_MIN;
  TPDFCIDVerticalMetrics();
  TPDFCIDWidths W1, VX, VY;
};

// The vertical metrics of a CIDFont dictionary from its W2 and DW2 (each as
// far as it reads: a malformed entry ends the array); never null.
std::unique_ptr<TPDFCIDVerticalMetrics> BuildCIDVerticalMetrics(const TPDFDictionary* Font);
