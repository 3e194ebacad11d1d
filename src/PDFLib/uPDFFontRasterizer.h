// The font collection of one page-text request, and ToUnicode CMaps.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "uPDFFontConst.h"

class TCodePage;
class TPDFDictionary;
class TPDFIndRef;
class TPDFObject;
class TPDFFontRasterizer;

// ================================================================ CMaps

// Codes FirstCode..LastCode map to FirstUnicode + (code - FirstCode).
struct TPDFCMapRange {
  uint16_t FirstCode = 0;
  uint16_t LastCode = 0;
  uint16_t FirstUnicode = 0;
};
using TPDFCMap = std::vector<TPDFCMapRange>;

// The bfrange and bfchar entries of a ToUnicode CMap text (only the first
// section of each; nothing without a codespace range).
TPDFCMap ParseToUnicode(std::string_view Text);
// Orders the map by FirstCode the way look-ups expect (which of several
// ranges with the same FirstCode comes first is fixed by this procedure).
void SortCMap(TPDFCMap& Map);
// The UTF-16 unit of Code: the first range covering it, or none.
std::optional<uint16_t> CMapLookup(const TPDFCMap& Map, uint32_t Code);

// CMapLookup for every code at once: a table over the codes the map spans,
// built in time proportional to the map plus that span.
class TPDFCMapIndex {
 public:
  explicit TPDFCMapIndex(const TPDFCMap& Map);
  std::optional<uint16_t> Lookup(uint32_t Code) const;

 private:
  uint32_t FFirst = 0;
  std::vector<uint32_t> FUnits;  // unit + 1 from FFirst on, 0 where no range covers the code
};

// One UTF-16 unit as text in the code page.
std::string UnicodeToText(uint16_t Unit, const TCodePage& CodePage);
// Texts of codes 0..255 from the map alone (uncovered codes: empty).
void CMapToTexts(const TPDFCMapIndex& Map, TPDFCodeTexts& Texts, const TCodePage& CodePage);
// The same, but uncovered codes keep their text.
void OverlayCMapTexts(const TPDFCMapIndex& Map, TPDFCodeTexts& Texts, const TCodePage& CodePage);

// ================================================================ font records

// What the text interpreters read of a loaded font.
struct TPDFFontCollectionData {
  int32_t ObjectNumber = 0;
  TPDFGlyphWidths Widths{};
  TPDFCodeTexts CodeTexts;
  std::string FontName;
  std::shared_ptr<TPDFFontRasterizer> Rasterizer;
  TPDFGlyphNames GlyphNames;
  bool IsComposite = false;
  std::shared_ptr<const TPDFCIDWidths> CIDWidths;
  double Ascent = 0;
  double Descent = 0;
  TPDFCodeTexts RenderTexts;
  TPDFCMap ToUnicode;
  // ToUnicode for look-ups of two-byte codes; null without a map.
  std::shared_ptr<const TPDFCMapIndex> ToUnicodeIndex;
  int32_t FirstChar = 0;
  int32_t LastChar = 0;
  std::string CIDToGIDMap;
};

// Fonts already loaded for a document, by the object number they were
// selected with: a font dictionary gives the same record on every page, so a
// collection that shares this cache loads each font once per document. The
// records never change once cached.
class TPDFFontCache {
 public:
  std::shared_ptr<TPDFFontCollectionData> Find(int32_t Number) const {
    auto It = FRecords.find(Number);
    return It == FRecords.end() ? nullptr : It->second;
  }
  void Add(int32_t Number, std::shared_ptr<TPDFFontCollectionData> Record) { FRecords.emplace(Number, std::move(Record)); }
  void Clear() { FRecords.clear(); }

 private:
  std::unordered_map<int32_t, std::shared_ptr<TPDFFontCollectionData>> FRecords;
};

// ================================================================ TPDFFontCollection
// The fonts of one page-text request: each font is loaded the first time it
// is selected and kept until the collection goes.
class TPDFFontCollection {
 public:
  // CodePage (and Cache, when given) must outlive the collection.
  explicit TPDFFontCollection(const TCodePage& CodePage, TPDFFontCache* Cache = nullptr);
  ~TPDFFontCollection();
  TPDFFontCollection(const TPDFFontCollection&) = delete;
  TPDFFontCollection& operator=(const TPDFFontCollection&) = delete;

  // Load font programs while loading fonts (a rasterizer per font).
  bool LoadFontPrograms = false;

  // Makes the font FontRef refers to current, loading it on first use, and
  // returns its record. A null FontRef changes nothing and gives null.
  const TPDFFontCollectionData* SelectFont(TPDFIndRef* FontRef);
  // The record of the font selected last (an empty record before any).
  const TPDFFontCollectionData& Current() const { return *FCurrent; }
  size_t FontCount() const { return FFonts.size(); }

 private:
  void LoadFont(TPDFIndRef* FontRef, int Depth);

  const TCodePage& FCodePage;
  TPDFFontCollectionData& NewRecord();

  TPDFFontCache* FCache;
  std::vector<std::shared_ptr<TPDFFontCollectionData>> FFonts;
  TPDFFontCollectionData FEmpty;
  const TPDFFontCollectionData* FCurrent = &FEmpty;
};

// The standard font a BaseFont name stands for (1 Courier .. 14 ZapfDingbats),
// 0 for none.
int StandardFontIndex(std::string_view BaseFont);
