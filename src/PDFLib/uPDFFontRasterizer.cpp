// The font collection of one page-text request, and ToUnicode CMaps.
#include "uPDFFontRasterizer.h"

#include <algorithm>

#include "CodePage.h"
#include "uPDFExtra.h"
#include "uPDFStructure.h"
#include "uPDFTrueTypeRasterizer.h"
#include "uPDFType1.h"

// ================================================================ CMaps

namespace {

// Reads the next "<hex>" of Section and cuts Section after it; -1 when the
// digits are not a hexadecimal number of up to eight digits, or when no
// further pair is there (Section is then emptied). Eight digits with the top
// bit set read as negative.
int64_t ReadHexToken(std::string_view& Section) {
  const size_t Open = Section.find('<');
  const size_t Close = Section.find('>');
  if (Open == std::string_view::npos || Close == std::string_view::npos || Open > Close) {
    Section = {};
    return -1;
  }
  const std::string_view Digits = Section.substr(Open + 1, Close - Open - 1);
  Section.remove_prefix(Close + 1);
  if (Digits.empty() || Digits.size() > 8) return -1;
  uint32_t Value = 0;
  for (char C : Digits) {
    const int D = HexDigitValue(static_cast<unsigned char>(C));
    if (D < 0) return -1;
    Value = Value * 16 + static_cast<uint32_t>(D);
  }
  return static_cast<int32_t>(Value);
}

// The text between the first Begin and the first End, when both are there in
// that order.
std::optional<std::string_view> Section(std::string_view Text, std::string_view Begin, std::string_view End) {
  const size_t B = Text.find(Begin);
  const size_t E = Text.find(End);
  if (B == std::string_view::npos || E == std::string_view::npos || B > E) return std::nullopt;
  const size_t From = std::min(B + Begin.size(), E);
  return Text.substr(From, E - From);
}

}  // namespace

TPDFCMap ParseToUnicode(std::string_view Text) {
  TPDFCMap Map;
  // The codespace range is only a gate: without a readable one, no map.
  auto Codespace = Section(Text, "begincodespacerange", "endcodespacerange");
  if (!Codespace) return Map;
  if (ReadHexToken(*Codespace) < 0 || ReadHexToken(*Codespace) < 0) return Map;
  if (auto Ranges = Section(Text, "beginbfrange", "endbfrange")) {
    for (;;) {
      const int64_t Lo = ReadHexToken(*Ranges), Hi = ReadHexToken(*Ranges), Dst = ReadHexToken(*Ranges);
      if (Lo < 0 || Hi < 0) break;
      Map.push_back({static_cast<uint16_t>(Lo), static_cast<uint16_t>(Hi), static_cast<uint16_t>(Dst)});
    }
  }
  if (auto Chars = Section(Text, "beginbfchar", "endbfchar")) {
    for (;;) {
      const int64_t Src = ReadHexToken(*Chars), Dst = ReadHexToken(*Chars);
      if (Src < 0 || Dst < 0) break;
      if (Src > 0 && Dst > 0)
        Map.push_back({static_cast<uint16_t>(Src), static_cast<uint16_t>(Src), static_cast<uint16_t>(Dst)});
    }
  }
  return Map;
}

void SortCMap(TPDFCMap& Map) {
  const auto Less = [](const TPDFCMapRange& A, const TPDFCMapRange& B) { return A.FirstCode < B.FirstCode; };
  const bool Distinct = [&] {
    std::vector<uint16_t> Keys;
    Keys.reserve(Map.size());
    for (const auto& R : Map) Keys.push_back(R.FirstCode);
    std::sort(Keys.begin(), Keys.end());
    return std::adjacent_find(Keys.begin(), Keys.end()) == Keys.end();
  }();
  // Which of several ranges with one FirstCode comes first is decided by an
  // exchange procedure; with distinct keys any sort gives the same order, and
  // very large maps with repeated keys keep their text order among equals
  // rather than cost quadratic time.
  constexpr size_t ExactLimit = 5000;
  if (Distinct || Map.size() > ExactLimit) {
    std::stable_sort(Map.begin(), Map.end(), Less);
    return;
  }
  for (size_t I = 0; I + 1 < Map.size(); ++I)
    for (size_t J = I + 1; J < Map.size(); ++J)
      if (Map[J].FirstCode < Map[I].FirstCode) std::swap(Map[I], Map[J]);
}

std::optional<uint16_t> CMapLookup(const TPDFCMap& Map, uint32_t Code) {
  for (const TPDFCMapRange& R : Map)
    if (R.FirstCode <= Code && Code <= R.LastCode) return static_cast<uint16_t>(R.FirstUnicode + (Code - R.FirstCode));
  return std::nullopt;
}

TPDFCMapIndex::TPDFCMapIndex(const TPDFCMap& Map) {
  uint32_t First = 65535, Last = 0;
  for (const TPDFCMapRange& R : Map)
    if (R.FirstCode <= R.LastCode) {
      First = std::min<uint32_t>(First, R.FirstCode);
      Last = std::max<uint32_t>(Last, R.LastCode);
    }
  if (First > Last) return;
  FFirst = First;
  const uint32_t Span = Last - First + 1;
  FUnits.assign(Span, 0);
  // Each code takes the first range that covers it: ranges fill only codes
  // still free, and a "next free code" chain skips the taken ones.
  std::vector<uint32_t> Next(Span + 1);
  for (uint32_t C = 0; C <= Span; ++C) Next[C] = C;
  auto Find = [&](uint32_t C) {
    while (Next[C] != C) {
      Next[C] = Next[Next[C]];
      C = Next[C];
    }
    return C;
  };
  for (const TPDFCMapRange& R : Map) {
    if (R.FirstCode > R.LastCode) continue;
    const uint32_t End = R.LastCode - First;
    for (uint32_t C = Find(R.FirstCode - First); C <= End; C = Find(C)) {
      FUnits[C] = static_cast<uint32_t>(static_cast<uint16_t>(R.FirstUnicode + (C + First - R.FirstCode))) + 1;
      Next[C] = C + 1;
    }
  }
}

std::optional<uint16_t> TPDFCMapIndex::Lookup(uint32_t Code) const {
  if (Code < FFirst || Code - FFirst >= FUnits.size() || FUnits[Code - FFirst] == 0) return std::nullopt;
  return static_cast<uint16_t>(FUnits[Code - FFirst] - 1);
}

std::string UnicodeToText(uint16_t Unit, const TCodePage& CodePage) { return CodePage.FromUTF16(Unit); }

void CMapToTexts(const TPDFCMapIndex& Map, TPDFCodeTexts& Texts, const TCodePage& CodePage) {
  for (uint32_t C = 0; C < 256; ++C) {
    auto Unit = Map.Lookup(C);
    Texts[C] = Unit ? CodePage.FromUTF16(*Unit) : std::string();
  }
}

void OverlayCMapTexts(const TPDFCMapIndex& Map, TPDFCodeTexts& Texts, const TCodePage& CodePage) {
  for (uint32_t C = 0; C < 256; ++C)
    if (auto Unit = Map.Lookup(C)) Texts[C] = CodePage.FromUTF16(*Unit);
}

// ================================================================ standard fonts

namespace {

struct TStandardFont {
  const char* Patterns;
  const char* Substitute;
  double Ascent, Descent;
};

// Rows 1..14; a BaseFont name followed by "*" is looked for in the patterns,
// and the last row holding it wins.
constexpr TStandardFont StandardFonts[] = {
    {"Courier*CourierNew*CourierNewPSMT*", "CourierNew", 629, -157},
    {"Courier-Bold*Courier,Bold*CourierNew-Bold*CourierNew,Bold*CourierNewPS-BoldMT*", "CourierNew,Bold", 626, -142},
    {"Courier-BoldOblique*Courier,BoldItalic*CourierNew-BoldItalic*CourierNew,BoldItalic*CourierNewPS-BoldItalicMT*",
     "CourierNew,BoldItalic", 626, -142},
    {"Courier-Oblique*Courier,Italic*CourierNew-Italic*CourierNew,Italic*CourierNewPS-ItalicMT*", "CourierNew,Italic",
     629, -157},
    {"Helvetica*Arial*ArialMT*", "Arial", 718, -207},
    {"Helvetica-Bold*Helvetica,Bold*Arial-Bold*Arial,Bold*Arial-BoldMT*", "Arial,Bold", 718, -207},
    {"Helvetica-BoldOblique*Helvetica-BoldItalic*Helvetica,BoldItalic*Arial-BoldItalic*Arial,BoldItalic*Arial-"
     "BoldItalicMT*",
     "Arial,BoldItalic", 718, -207},
    {"Helvetica-Oblique*Helvetica-Italic*Helvetica,Italic*Arial-Italic*Arial,Italic*Arial-ItalicMT*", "Arial,Italic",
     718, -207},
    {"Times-Roman*TimesNewRoman*TimesNewRomanPS*TimesNewRomanPSMT*", "TimesNewRoman", 683, -217},
    {"Times-Bold*TimesNewRoman-Bold*TimesNewRoman,Bold*TimesNewRomanPS-Bold*TimesNewRomanPS-BoldMT*",
     "TimesNewRoman,Bold", 676, -205},
    {"Times-Italic*TimesNewRoman-Italic*TimesNewRoman,Italic*TimesNewRomanPS-Italic*TimesNewRomanPS-ItalicMT*",
     "TimesNewRoman,Italic", 683, -205},
    {"Times-BoldItalic*TimesNewRoman-BoldItalic*TimesNewRoman,BoldItalic*TimesNewRomanPS-BoldItalic*"
     "TimesNewRomanPS-BoldItalicMT*",
     "TimesNewRoman,BoldItalic", 699, -205},
    {"Symbol*", "Symbol", 699, -205},
    {"ZapfDingbats*", "QuarnelDingbats", 699, -205},
};

// Type0 fonts whose descendants are Type0 fonts again are followed this deep.
constexpr int MaxDescendantDepth = 8;

}  // namespace

int StandardFontIndex(std::string_view BaseFont) {
  if (BaseFont.empty()) return 0;
  const std::string Probe = std::string(BaseFont) + "*";
  int Index = 0;
  for (int I = 0; I < 14; ++I)
    if (std::string_view(StandardFonts[I].Patterns).find(Probe) != std::string_view::npos) Index = I + 1;
  return Index;
}

const char* StandardFontSubstitute(int Index) { return Index >= 1 && Index <= 14 ? StandardFonts[Index - 1].Substitute : ""; }

// ================================================================ TPDFType3Rasterizer

void TPDFType3Rasterizer::LoadFromDictionary(TPDFDictionary* Font) {
  if (!Font) return;
  if (auto* Matrix = As<TPDFArray>(Font->GetValue("FontMatrix", true)); Matrix && Matrix->Count() == 6)
    for (int I = 0; I < 6; ++I)
      if (const auto* N = As<TPDFNumeric>(Matrix->GetItem(I))) FontMatrix[I] = N->Value();
  if (auto* Procs = As<TPDFDictionary>(Font->GetValue("CharProcs", true)))
    for (const auto& [Key, Value] : Procs->Entries()) GlyphProcNames.push_back(Key ? Key->Value() : std::string());
}

// ================================================================ TPDFFontCollection

TPDFFontCollection::TPDFFontCollection(const TCodePage& CodePage, TPDFFontCache* Cache)
    : FCodePage(CodePage), FCache(Cache) {}

TPDFFontCollectionData& TPDFFontCollection::NewRecord() {
  return *FFonts.emplace_back(std::make_shared<TPDFFontCollectionData>());
}

TPDFFontCollection::~TPDFFontCollection() = default;

TPDFSubstituteFonts& TPDFFontCollection::Substitutes() const {
  return SubstituteFonts ? *SubstituteFonts : TPDFSubstituteFonts::Installed();
}

std::shared_ptr<const TPDFType1Decoder> TPDFFontCollection::Type1Program(const TPDFStream* File, bool CFF) {
  const char Kind = CFF ? 'C' : '1';
  if (FCache)
    if (auto Known = FCache->FindProgram(File, Kind)) return std::static_pointer_cast<const TPDFType1Decoder>(Known);
  auto Decoder = std::make_shared<TPDFType1Decoder>();
  if (CFF)
    Decoder->LoadCFF(File);
  else
    Decoder->LoadType1(File);
  if (FCache) FCache->AddProgram(File, Kind, Decoder);
  return Decoder;
}

std::shared_ptr<const TPDFTrueTypeParser> TPDFFontCollection::TrueTypeProgram(const TPDFStream* File) {
  if (FCache)
    if (auto Known = FCache->FindProgram(File, 'T')) return std::static_pointer_cast<const TPDFTrueTypeParser>(Known);
  const std::string Data = File->GetDecodedData();
  if (Data.empty()) return nullptr;  // no program: the font gets a substitute
  auto Parser = std::make_shared<TPDFTrueTypeParser>();
  Parser->LoadFromData(Data);
  if (FCache) FCache->AddProgram(File, 'T', Parser);
  return Parser;
}

const TPDFFontCollectionData* TPDFFontCollection::SelectFont(TPDFIndRef* FontRef) {
  if (!FontRef) return nullptr;
  for (const auto& Rec : FFonts)
    if (Rec->ObjectNumber == FontRef->Number) return FCurrent = Rec.get();
  if (FCache)
    if (auto Cached = FCache->Find(FontRef->Number)) {
      FFonts.push_back(Cached);
      return FCurrent = Cached.get();
    }
  LoadFont(FontRef, 0);
  // For a Type0 font the last record is its descendant's: it takes the
  // Type0 dictionary's number.
  FFonts.back()->ObjectNumber = FontRef->Number;
  if (FCache) FCache->Add(FontRef->Number, FFonts.back());
  return FCurrent = FFonts.back().get();
}

void TPDFFontCollection::LoadFont(TPDFIndRef* FontRef, int Depth) {
  TPDFGlyphNames Names;
  GetEncodingGlyphNames(TPDFBaseEncoding::encStandard, Names);
  TPDFGlyphWidths Widths;
  Widths.fill(DefaultGlyphWidth);
  TPDFCodeTexts CodeTexts;
  std::string FontName = "Arial", Subtype;
  bool CodeKeyed = false;
  int Standard = 0;
  int32_t Flags = 0, FirstChar = 0, LastChar = 0;
  double Ascent = 0, Descent = 0;
  TPDFArray* Differences = nullptr;
  std::shared_ptr<const TPDFFontRasterizer> Rasterizer;
  std::shared_ptr<const TPDFCIDWidths> CIDWidths;
  std::string CIDToGIDMap;
  const size_t RecordsBefore = FFonts.size();

  auto* Font = FontRef ? As<TPDFDictionary>(FontRef->Resolve()) : nullptr;
  if (Font) {
    const auto* BaseFont = As<TPDFName>(Font->GetValue("BaseFont", true));
    if (BaseFont) FontName = BaseFont->Value();
    // The base encoding and the Differences.
    TPDFBaseEncoding Base = TPDFBaseEncoding::encStandard;
    bool NamedBase = false;
    TPDFObject* Encoding = Font->GetValue("Encoding", true);
    if (const auto* Name = As<TPDFName>(Encoding)) {
      Base = EncodingFromName(Name->Value());
      NamedBase = true;
    } else if (auto* Dict = As<TPDFDictionary>(Encoding)) {
      if (const auto* BaseName = As<TPDFName>(Dict->GetValue("BaseEncoding", true))) {
        Base = EncodingFromName(BaseName->Value());
        NamedBase = true;
      }
      Differences = As<TPDFArray>(Dict->GetValue("Differences", true));
    }
    GetEncodingGlyphNames(Base, Names);

    if (const auto* S = As<TPDFName>(Font->GetValue("Subtype", true))) Subtype = S->Value();
    TPDFDictionary* Descriptor = nullptr;
    auto ReadDescriptor = [&]() -> bool {
      Descriptor = As<TPDFDictionary>(Font->GetValue("FontDescriptor", true));
      if (!Descriptor) return false;
      if (const auto* N = As<TPDFNumeric>(Descriptor->GetValue("Ascent", true))) Ascent = N->IntValue();
      if (const auto* N = As<TPDFNumeric>(Descriptor->GetValue("Descent", true))) Descent = N->IntValue();
      if (const auto* N = As<TPDFNumeric>(Descriptor->GetValue("Flags", true))) Flags = N->IntValue();
      return true;
    };
    // A Type 1 or CFF program's own encoding replaces the names of a font
    // that names no base encoding, or is symbolic.
    auto UseProgram = [&](std::shared_ptr<const TPDFType1Decoder> Decoder) {
      if (!NamedBase || (Flags & 4)) Names = Decoder->BuiltInEncoding;
      Rasterizer = std::move(Decoder);
    };
    if (Subtype == "Type1" || Subtype == "CIDFontType0") {
      if (ReadDescriptor()) {
        if (LoadFontPrograms) {
          if (auto* File = As<TPDFStream>(Descriptor->GetValue("FontFile", true))) UseProgram(Type1Program(File, false));
          if (auto* File = As<TPDFStream>(Descriptor->GetValue("FontFile3", true))) UseProgram(Type1Program(File, true));
        }
      } else if (BaseFont) {
        // A standard font: its metrics, and the substitute's name.
        Standard = StandardFontIndex(BaseFont->Value());
        if (Standard > 0) {
          Ascent = StandardFonts[Standard - 1].Ascent;
          Descent = StandardFonts[Standard - 1].Descent;
          if (LoadFontPrograms) {
            FontName = StandardFonts[Standard - 1].Substitute;
            // ZapfDingbats' own program serves drawing only: for text it is
            // a program without glyphs.
            Rasterizer = Standard == 14 ? std::make_shared<TPDFTrueTypeRasterizer2>(std::make_shared<TPDFTrueTypeParser>())
                                        : Substitutes().Substitute(FontName, 0);
          }
        }
      }
    } else if (Subtype == "TrueType" || Subtype == "CIDFontType2") {
      if (ReadDescriptor() && LoadFontPrograms)
        if (auto* File = As<TPDFStream>(Descriptor->GetValue("FontFile2", true)))
          if (auto Parser = TrueTypeProgram(File)) {
            Rasterizer = std::make_shared<TPDFTrueTypeRasterizer2>(std::move(Parser), (Flags & 4) != 0);
            if (Flags & 4) {
              // Symbolic with a program: the codes themselves are the keys,
              // the text comes from the names only until ToUnicode says more.
              if (Differences) ApplyDifferences(Names, Differences);
              GlyphNamesToTexts(Names, CodeTexts, FCodePage);
              CodeKeyed = true;
              for (int C = 0; C < 256; ++C) Names[C] = "CID:" + std::to_string(C);
              Differences = nullptr;
            }
          }
    } else if (Subtype == "Type3") {
      if (LoadFontPrograms) {
        auto Type3 = std::make_shared<TPDFType3Rasterizer>();
        Type3->LoadFromDictionary(Font);
        Rasterizer = std::move(Type3);
      }
    } else if (Subtype == "Type0") {
      auto* Descendants = As<TPDFArray>(Font->GetValue("DescendantFonts", true));
      if (Descendants && Descendants->Count() == 1 && Depth < MaxDescendantDepth)
        if (auto* Descendant = As<TPDFIndRef>(Descendants->GetItem(0))) LoadFont(Descendant, Depth + 1);
    }
    // A font without a program takes the advances of an installed substitute
    // by glyph name (before the Differences).
    if (LoadFontPrograms && !Rasterizer && Subtype != "Type0") {
      auto Substitute = Substitutes().Substitute(FontName, Flags);
      GetSubstituteWidths(*Substitute, Names, Widths);
      Rasterizer = std::move(Substitute);
    }

    if (Differences) ApplyDifferences(Names, Differences);
    if (Standard > 0) GetStandardFontWidths(Standard, Names, Widths);
    if (!CodeKeyed) GlyphNamesToTexts(Names, CodeTexts, FCodePage);
    if (Subtype == "CIDFontType0" || Subtype == "CIDFontType2") {
      CIDWidths = BuildCIDWidths(As<TPDFArray>(Font->GetValue("W", true)), Font);
      if (Subtype == "CIDFontType2")
        if (const auto* Map = As<TPDFStream>(Font->GetValue("CIDToGIDMap", true))) CIDToGIDMap = Map->GetDecodedData();
    } else {
      ApplyWidthsArray(Font, Widths, FirstChar, LastChar);
    }
  }

  TPDFFontCollectionData* Rec;
  if (Subtype != "Type0") {
    Rec = &NewRecord();
    Rec->ObjectNumber = FontRef ? FontRef->Number : 0;
    Rec->Widths = Widths;
    Rec->CodeTexts = CodeTexts;
    Rec->FontName = FontName;
    Rec->Rasterizer = Rasterizer;
    Rec->GlyphNames = Names;
    Rec->CIDWidths = CIDWidths;
    Rec->Ascent = Ascent;
    Rec->Descent = Descent;
    Rec->FirstChar = FirstChar;
    Rec->LastChar = LastChar;
    Rec->CIDToGIDMap = std::move(CIDToGIDMap);
  } else {
    if (FFonts.size() == RecordsBefore) {
      // No usable descendant (not one reference, or one that loops back):
      // a composite record of its own, with no CID widths and no glyph names.
      Rec = &NewRecord();
      Rec->ObjectNumber = FontRef ? FontRef->Number : 0;
      Rec->Widths.fill(DefaultGlyphWidth);
      Rec->FontName = FontName;
    }
    Rec = FFonts.back().get();
    Rec->IsComposite = true;
    CodeKeyed = true;
  }

  // Texts of the record, and the ToUnicode map.
  auto LoadMap = [&](TPDFObject* Entry) {
    const auto* Stream = As<TPDFStream>(Entry);
    Rec->ToUnicode = ParseToUnicode(Stream ? Stream->GetDecodedData() : std::string());
    SortCMap(Rec->ToUnicode);
    Rec->ToUnicodeIndex = Rec->ToUnicode.empty() ? nullptr : std::make_shared<TPDFCMapIndex>(Rec->ToUnicode);
  };
  if (CodeKeyed) {
    if (Font && Font->IndexOfKey("ToUnicode") >= 0) {
      LoadMap(Font->GetValue("ToUnicode", true));
      if (Rec->ToUnicodeIndex)
        CMapToTexts(*Rec->ToUnicodeIndex, Rec->RenderTexts, FCodePage);
      else
        Rec->RenderTexts.fill(std::string());
      Rec->CodeTexts = Rec->RenderTexts;
    } else {
      Rec->RenderTexts = Rec->CodeTexts;
    }
  } else {
    // The names are those the code texts came from (without a font
    // dictionary the code texts stay empty).
    if (Font)
      Rec->RenderTexts = Rec->CodeTexts;
    else
      GlyphNamesToTexts(Names, Rec->RenderTexts, FCodePage);
    if (Font)
      if (auto* Map = As<TPDFStream>(Font->GetValue("ToUnicode", true))) {
        LoadMap(Map);
        if (Rec->ToUnicodeIndex) OverlayCMapTexts(*Rec->ToUnicodeIndex, Rec->RenderTexts, FCodePage);
        Rec->CodeTexts = Rec->RenderTexts;
      }
  }
  // A font whose codes all have empty texts shows each byte as itself.
  if (std::all_of(Rec->RenderTexts.begin(), Rec->RenderTexts.end(), [](const std::string& T) { return T.empty(); }))
    for (int C = 0; C < 256; ++C) Rec->RenderTexts[C] = FCodePage.FromWinAnsi(static_cast<unsigned char>(C));
}
