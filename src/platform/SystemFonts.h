// Installed fonts, for the substitutes of fonts that carry no program: the
// family names the system knows, and the font file of a family in a style.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TSystemFonts {
 public:
  // The installed fonts as fontconfig reports them, read on first use and
  // kept for the life of the process. Safe to use from several threads.
  static TSystemFonts& Installed();

  virtual ~TSystemFonts() = default;

  // "Default" followed by the installed family names (a name equal to the one
  // before it, ignoring case, skipped), sorted ignoring case. Besides the
  // families of the installed files, it holds the well-known family names that
  // the system serves with a metric-compatible font (Arial by Liberation Sans,
  // for example).
  virtual const std::vector<std::string>& FamilyList() = 0;

  // The font file the system chooses for Family in the style.
  struct TFontFile {
    bool Error = false;  // no font, or its file could not be read
    uint64_t Size = 0;   // the file's size
    // The file's bytes when Size is at most the limit given. A file that is
    // not a TrueType program (a collection, CFF outlines) gives only its first
    // four bytes, which tell a reader so.
    std::string Bytes;
  };
  virtual TFontFile FontFile(const std::string& Family, bool Bold, bool Italic, uint64_t MaxSize) = 0;
};
