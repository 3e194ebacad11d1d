// TrueType programs as font rasterizers, and the installed fonts that stand in
// for fonts without a program.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "uPDFFontConst.h"
#include "uPDFFontProgram.h"
#include "uPDFTrueTypeParser.h"

class TSystemFonts;

// An embedded TrueType program, or the installed font chosen as a substitute.
// Safe to read from several threads once made.
class TPDFTrueTypeRasterizer2 final : public TPDFFontRasterizer {
 public:
  // Parser is never null (an empty parser for a font with no program).
  explicit TPDFTrueTypeRasterizer2(std::shared_ptr<const TPDFTrueTypeParser> Parser, bool Symbolic = false)
      : Parser(std::move(Parser)), Symbolic(Symbolic) {}
  const std::shared_ptr<const TPDFTrueTypeParser> Parser;
  // The font descriptor's symbolic flag (bit value 4).
  const bool Symbolic;
};

// A family and style of the installed fonts.
struct TSystemFontChoice {
  std::string Family;
  bool Bold = false;
  bool Italic = false;
  bool operator==(const TSystemFontChoice&) const = default;
};

// The installed family standing in for FontName (a BaseFont, subset prefix and
// style suffixes included) with the descriptor Flags, chosen from Families
// (the system font list); Arial, Courier or Times New Roman by Flags when no
// family has the name.
TSystemFontChoice SelectSystemFont(std::string_view FontName, int32_t Flags, const std::vector<std::string>& Families);

// Each code whose glyph name the substitute's program names takes that glyph's
// advance; other codes keep their width.
void GetSubstituteWidths(const TPDFTrueTypeRasterizer2& Rasterizer, const TPDFGlyphNames& Names,
                         TPDFGlyphWidths& Widths);

// The largest font file a substitute may be read from.
inline constexpr uint64_t MaxSystemFontFile = 104857600;

class TPDFSubstituteFonts;

// The installed substitute of a font whose text does not need it (a standard
// font, whose widths are built in, or a descendant of a composite font, whose
// widths are its W array): chosen and read from the installed fonts only when
// Resolve is first called, so that a run which never asks does not set up
// the installed fonts at all. Resolve gives what Substitute would have given
// at load time. Safe to use from several threads.
class TPDFDeferredSubstitute final : public TPDFFontRasterizer {
 public:
  // Fonts must outlive the rasterizer.
  TPDFDeferredSubstitute(TPDFSubstituteFonts& Fonts, std::string FontName, int32_t Flags)
      : FFonts(Fonts), FFontName(std::move(FontName)), FFlags(Flags) {}
  // Never null.
  std::shared_ptr<const TPDFTrueTypeRasterizer2> Resolve() const;

 private:
  TPDFSubstituteFonts& FFonts;
  const std::string FFontName;
  const int32_t FFlags;
  mutable std::once_flag FOnce;
  mutable std::shared_ptr<const TPDFTrueTypeRasterizer2> FResolved;
};

// Substitute fonts over one source of installed fonts: each font name and
// flags is chosen, fetched and parsed once, and the result is shared (it is
// the same as choosing afresh, as the installed fonts do not change while the
// program runs). Safe to use from several threads.
class TPDFSubstituteFonts {
 public:
  explicit TPDFSubstituteFonts(TSystemFonts& Fonts) : FFonts(Fonts) {}
  // The process-wide substitutes over the installed fonts.
  static TPDFSubstituteFonts& Installed();

  // The substitute rasterizer for a font named FontName with Flags; never null.
  std::shared_ptr<const TPDFTrueTypeRasterizer2> Substitute(const std::string& FontName, int32_t Flags);
  // The program of a family in a style, with the fallback to Arial; an empty
  // parser when the system has none.
  std::shared_ptr<const TPDFTrueTypeParser> Program(const TSystemFontChoice& Choice);

 private:
  TSystemFonts& FFonts;
  std::mutex FMutex;
  std::map<std::pair<std::string, int32_t>, std::shared_ptr<const TPDFTrueTypeRasterizer2>> FByName;
  std::map<std::tuple<std::string, bool, bool>, std::shared_ptr<const TPDFTrueTypeParser>> FPrograms;
};
