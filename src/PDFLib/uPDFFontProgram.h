// Font programs as far as text needs them: the base class of every kind of
// program a font record may hold, and the Type 3 kind, whose glyphs are
// content procedures.
#pragma once

#include <string>
#include <vector>

#include "uPDFExtra.h"

class TPDFDictionary;

// A font's glyph program, as far as text needs it. Immutable once loaded, so
// that one program can serve every font record that uses it.
// Every kind is safe to read from several threads once loaded.
class TPDFFontRasterizer {
 public:
  virtual ~TPDFFontRasterizer() = default;
  // The divisor of a simple font's widths in the content interpreter.
  virtual double WidthScale() const { return 1.0; }
};

// A Type 3 font: glyph-space widths and the matrix to text space.
class TPDFType3Rasterizer final : public TPDFFontRasterizer {
 public:
  // FontMatrix (six numbers, each numeric one replacing the identity's) and
  // the CharProcs names of the font dictionary; never fails.
  void LoadFromDictionary(TPDFDictionary* Font);
  TPDFMatrix FontMatrix{1, 0, 0, 1, 0, 0};
  std::vector<std::string> GlyphProcNames;
};
