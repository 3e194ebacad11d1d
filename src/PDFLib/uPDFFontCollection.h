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

#include "uPDFCMap.h"
#include "uPDFExtra.h"
#include "uPDFFontConst.h"
#include "uPDFFontProgram.h"

class TCodePage;
class TPDFDictionary;
class TPDFIndRef;
class TPDFObject;
class TPDFSubstituteFonts;
class TPDFStream;
class TPDFTrueTypeParser;
class TPDFType1Decoder;

// ================================================================ font records

// What the text interpreters read of a loaded font.
struct TPDFFontCollectionData {
  int32_t ObjectNumber = 0;
  TPDFGlyphWidths Widths{};
  TPDFCodeTexts CodeTexts;
  // The name the rows show (a standard font's substitute), and the
  // document's own BaseFont ("" when it names none).
  std::string FontName;
  std::string BaseFont;
  std::shared_ptr<const TPDFFontRasterizer> Rasterizer;
  TPDFGlyphNames GlyphNames;
  bool IsComposite = false;
  std::shared_ptr<const TPDFCIDWidths> CIDWidths;
  double Ascent = 0;
  double Descent = 0;
  // The top and bottom of the descriptor's FontBBox (glyph space, in
  // thousandths), for a font whose Ascent and Descent say nothing (both 0
  // or missing).
  double BoxTop = 0, BoxBottom = 0;
  TPDFCodeTexts RenderTexts;
  // The ToUnicode map; null without one.
  std::shared_ptr<const TPDFCMap> ToUnicode;
  int32_t FirstChar = 0;
  int32_t LastChar = 0;
  std::string CIDToGIDMap;

  // Composite fonts. Encoding splits shown strings into codes and gives their
  // CIDs (null: two-byte codes that are their own CIDs, as Identity-H);
  // TextEncoding is the horizontal form of a vertical encoding, whose CIDs
  // give the text (else Encoding). CIDToUnicode is the character
  // collection's map; GlyphTexts the characters of the embedded program's
  // glyphs, by glyph index (null when neither is known).
  std::shared_ptr<const TPDFCMap> Encoding, TextEncoding, CIDToUnicode;
  std::shared_ptr<const std::vector<std::u32string>> GlyphTexts;
  // A composite font written vertically (its CMap's WMode 1, as the -V
  // ones have): its vertical metrics; null for horizontal writing.
  std::shared_ptr<const TPDFCIDVerticalMetrics> VerticalMetrics;

  // The next code of a shown string from Pos (one byte for simple fonts, as
  // the encoding splits them for composite fonts); false at the end.
  bool NextCode(std::string_view Bytes, size_t& Pos, uint32_t& Code) const;
  // The CID of a composite font's code (0 for codes its encoding lacks).
  uint32_t CIDOf(uint32_t Code) const;
  // Appends the characters of a code: the ToUnicode map, then for composite
  // fonts the collection's map and the program's glyphs; false (nothing
  // appended) when none of them knows the code.
  bool CodeUnicode(uint32_t Code, std::u32string& Out) const;
};

// Fonts already loaded for a document, by the object number they were
// selected with: a font dictionary gives the same record on every page, so a
// collection that shares this cache loads each font once per document. The
// records never change once cached.
// Used from the thread that uses its document.
class TPDFFontCache {
 public:
  std::shared_ptr<TPDFFontCollectionData> Find(int32_t Number) const {
    auto It = FRecords.find(Number);
    return It == FRecords.end() ? nullptr : It->second;
  }
  void Add(int32_t Number, std::shared_ptr<TPDFFontCollectionData> Record) { FRecords.emplace(Number, std::move(Record)); }
  void Clear() {
    FRecords.clear();
    FPrograms.clear();
  }

  // Font programs already parsed, by their stream and kind ('1' Type 1, 'C'
  // CFF, 'T' TrueType), so that fonts sharing a program parse it once.
  // Programs never change once parsed.
  std::shared_ptr<const void> FindProgram(const TPDFObject* Stream, char Kind) const {
    auto It = FPrograms.find({Stream, Kind});
    return It == FPrograms.end() ? nullptr : It->second;
  }
  void AddProgram(const TPDFObject* Stream, char Kind, std::shared_ptr<const void> Program) {
    FPrograms.emplace(std::make_pair(Stream, Kind), std::move(Program));
  }

 private:
  struct TProgramKeyHash {
    size_t operator()(const std::pair<const TPDFObject*, char>& K) const {
      return std::hash<const void*>()(K.first) * 31 + static_cast<size_t>(K.second);
    }
  };
  std::unordered_map<int32_t, std::shared_ptr<TPDFFontCollectionData>> FRecords;
  std::unordered_map<std::pair<const TPDFObject*, char>, std::shared_ptr<const void>, TProgramKeyHash> FPrograms;
};

// ================================================================ TPDFFontCollection
// The fonts of one page-text request: each font is loaded the first time it
// is selected and kept until the collection goes.
// One thread at a time (it lives for one page-text request); the records
// it hands out never change.
class TPDFFontCollection {
 public:
  // CodePage (and Cache, when given) must outlive the collection.
  explicit TPDFFontCollection(const TCodePage& CodePage, TPDFFontCache* Cache = nullptr);
  ~TPDFFontCollection();
  TPDFFontCollection(const TPDFFontCollection&) = delete;
  TPDFFontCollection& operator=(const TPDFFontCollection&) = delete;

  // Load font programs while loading fonts (a rasterizer per font).
  bool LoadFontPrograms = false;
  // Where fonts without a program find their installed substitutes (the
  // process-wide installed fonts unless set); must outlive the collection.
  TPDFSubstituteFonts* SubstituteFonts = nullptr;
  // Where composite fonts find predefined CMaps (the process-wide installed
  // resources unless set); must outlive the collection.
  TPDFCMapStore* CMaps = nullptr;

  // Makes the font FontRef refers to current, loading it on first use, and
  // returns its record. A null FontRef changes nothing and gives null.
  const TPDFFontCollectionData* SelectFont(TPDFIndRef* FontRef);
  // The record of the font selected last (an empty record before any).
  const TPDFFontCollectionData& Current() const { return *FCurrent; }
  size_t FontCount() const { return FFonts.size(); }

 private:
  void LoadFont(TPDFIndRef* FontRef, int Depth);
  // What a composite record needs beyond its descendant: the encoding, the
  // character collection's map and the program's glyph texts.
  void LoadCompositeText(TPDFFontCollectionData& Rec, TPDFDictionary* Type0, TPDFDictionary* Descendant);
  TPDFCMapStore& CMapStore() const;
  TPDFSubstituteFonts& Substitutes() const;
  // A font program, parsed once per document when there is a cache.
  std::shared_ptr<const TPDFType1Decoder> Type1Program(const TPDFStream* File, bool CFF);
  // Null when the stream decodes to nothing.
  std::shared_ptr<const TPDFTrueTypeParser> TrueTypeProgram(const TPDFStream* File);

  const TCodePage& FCodePage;
  TPDFFontCollectionData& NewRecord();

  TPDFFontCache* FCache;
  std::vector<std::shared_ptr<TPDFFontCollectionData>> FFonts;
  TPDFFontCollectionData FEmpty;
  const TPDFFontCollectionData* FCurrent = &FEmpty;
};

