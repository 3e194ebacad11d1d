// The font collection of one page-text request.
#include "uPDFFontCollection.h"

#include <algorithm>

#include "CodePage.h"
#include "uPDFCMap.h"
#include "uPDFExtra.h"
#include "uPDFStructure.h"
#include "uPDFTrueTypeRasterizer.h"
#include "uPDFType1.h"

namespace {

// Type0 fonts whose descendants are Type0 fonts again are followed this deep.
constexpr int MaxDescendantDepth = 8;

}  // namespace

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
  std::string FontName = "Arial", BaseFontName, Subtype;
  bool CodeKeyed = false;
  int Standard = 0;
  int32_t Flags = 0, FirstChar = 0, LastChar = 0;
  double Ascent = 0, Descent = 0, BoxTop = 0, BoxBottom = 0;
  TPDFArray* Differences = nullptr;
  std::shared_ptr<const TPDFFontRasterizer> Rasterizer;
  std::shared_ptr<const TPDFCIDWidths> CIDWidths;
  std::string CIDToGIDMap;
  TPDFDictionary* DescendantFont = nullptr;
  const size_t RecordsBefore = FFonts.size();

  auto* Font = FontRef ? As<TPDFDictionary>(FontRef->Resolve()) : nullptr;
  if (Font) {
    const auto* BaseFont = As<TPDFName>(Font->GetValue("BaseFont", true));
    if (BaseFont) FontName = BaseFontName = BaseFont->Value();
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
      if (Ascent == 0 && Descent == 0)
        if (auto* Box = As<TPDFArray>(Descriptor->GetValue("FontBBox", true)); Box && Box->Count() == 4) {
          const auto Number = [&](int Index) {
            TPDFObject* Item = Box->GetItem(Index);
            if (auto* Ref = As<TPDFIndRef>(Item)) Item = Ref->Resolve();
            return As<TPDFNumeric>(Item);
          };
          const TPDFNumeric *Bottom = Number(1), *Top = Number(3);
          if (Bottom && Top && Top->Value() > Bottom->Value() && Top->Value() - Bottom->Value() < 10000) {
            BoxTop = Top->Value();
            BoxBottom = Bottom->Value();
          }
        }
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
        // Symbol and ZapfDingbats read their codes by their own encodings
        // unless the font names a base encoding.
        if (!NamedBase) GetBuiltInEncoding(Standard, Names);
        if (Standard > 0) {
          Ascent = StandardFont(Standard)->Ascent;
          Descent = StandardFont(Standard)->Descent;
          if (LoadFontPrograms) {
            FontName = StandardFont(Standard)->Substitute;
            // ZapfDingbats' own program serves drawing only: for text it is
            // a program without glyphs.
            // The other standard fonts' widths and texts are built in: their
            // substitute is fetched only if something asks for its program.
            if (Standard == 14)
              Rasterizer = std::make_shared<TPDFTrueTypeRasterizer2>(std::make_shared<TPDFTrueTypeParser>());
            else
              Rasterizer = std::make_shared<TPDFDeferredSubstitute>(Substitutes(), FontName, 0);
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
        if (auto* Descendant = As<TPDFIndRef>(Descendants->GetItem(0))) {
          DescendantFont = As<TPDFDictionary>(Descendant->Resolve());
          LoadFont(Descendant, Depth + 1);
        }
    }
    // A font without a program takes the advances of an installed substitute
    // by glyph name (before the Differences).
    if (LoadFontPrograms && !Rasterizer && Subtype != "Type0") {
      if (Depth > 0 && (Subtype == "CIDFontType0" || Subtype == "CIDFontType2")) {
        // A descendant's advances are its W array, and its text never comes
        // from a substitute: fetched only if something draws with it.
        Rasterizer = std::make_shared<TPDFDeferredSubstitute>(Substitutes(), FontName, Flags);
      } else {
        auto Substitute = Substitutes().Substitute(FontName, Flags);
        GetSubstituteWidths(*Substitute, Names, Widths);
        Rasterizer = std::move(Substitute);
      }
    }

    const TPDFGlyphNames Encoded = Names;  // before the Differences
    if (Differences) ApplyDifferences(Names, Differences);
    if (Standard > 0) GetStandardFontWidths(Standard, Names, Widths);
    if (!CodeKeyed) {
      // A name that only numbers a code ("a96") reads as the encoding's
      // glyph of that code (ZapfDingbats' own names look the same); the
      // glyph names themselves stay for the program.
      TPDFGlyphNames TextNames = Names;
      if (Differences && Standard != 14) ResolveNumericGlyphNames(TextNames, Encoded);
      GlyphNamesToTexts(TextNames, CodeTexts, FCodePage);
      // Their own glyph names (ZapfDingbats' a1 .. a191) show their
      // characters, never the names.
      BuiltInGlyphTexts(Standard, TextNames, CodeTexts, FCodePage);
    }
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
    Rec->BaseFont = BaseFontName;
    Rec->Rasterizer = Rasterizer;
    Rec->GlyphNames = Names;
    Rec->CIDWidths = CIDWidths;
    Rec->Ascent = Ascent;
    Rec->Descent = Descent;
    Rec->BoxTop = BoxTop;
    Rec->BoxBottom = BoxBottom;
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
    Rec->BaseFont = BaseFontName;
    Rec->IsComposite = true;
    CodeKeyed = true;
    LoadCompositeText(*Rec, Font, DescendantFont);
  }

  // Texts of the record, and the ToUnicode map.
  auto LoadMap = [&](TPDFObject* Entry) {
    const auto* Stream = As<TPDFStream>(Entry);
    auto Map = std::make_shared<TPDFCMap>(ParseToUnicode(Stream ? Stream->GetDecodedData() : std::string()));
    Rec->ToUnicode = Map->Empty() ? nullptr : std::move(Map);
  };
  // The texts of codes 0..255 from the map; uncovered codes keep theirs
  // (Overlay) or get none.
  auto MapTexts = [&](bool Overlay) {
    std::u32string Chars;
    for (uint32_t C = 0; C < 256; ++C) {
      Chars.clear();
      if (Rec->ToUnicode && Rec->ToUnicode->Lookup(C, Chars))
        Rec->RenderTexts[C] = UnicodeToText(Chars, FCodePage);
      else if (!Overlay)
        Rec->RenderTexts[C].clear();
    }
  };
  if (CodeKeyed) {
    if (Font && Font->IndexOfKey("ToUnicode") >= 0) {
      LoadMap(Font->GetValue("ToUnicode", true));
      MapTexts(false);
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
        MapTexts(true);
        Rec->CodeTexts = Rec->RenderTexts;
      }
  }
  // A font whose codes all have empty texts shows each byte as itself.
  if (std::all_of(Rec->RenderTexts.begin(), Rec->RenderTexts.end(), [](const std::string& T) { return T.empty(); }))
    for (int C = 0; C < 256; ++C) Rec->RenderTexts[C] = FCodePage.FromWinAnsi(static_cast<unsigned char>(C));
}

// ---------------------------------------------------------------- composite text

namespace {

// The character collections whose CID-to-Unicode maps the resources hold.
bool IsAdobeCollection(std::string_view Registry, std::string_view Ordering) {
  return Registry == "Adobe" && (Ordering == "GB1" || Ordering == "CNS1" || Ordering == "Japan1" ||
                                 Ordering == "Japan2" || Ordering == "Korea1" || Ordering == "KR");
}

std::string StringValue(TPDFObject* Object) {
  if (const auto* S = As<TPDFString>(Object)) return S->Value();
  if (const auto* N = As<TPDFName>(Object)) return N->Value();
  return {};
}

}  // namespace

TPDFCMapStore& TPDFFontCollection::CMapStore() const { return CMaps ? *CMaps : TPDFCMapStore::Installed(); }

void TPDFFontCollection::LoadCompositeText(TPDFFontCollectionData& Rec, TPDFDictionary* Type0,
                                           TPDFDictionary* Descendant) {
  std::string Registry, Ordering;
  TPDFObject* Encoding = Type0 ? Type0->GetValue("Encoding", true) : nullptr;
  if (const auto* Name = As<TPDFName>(Encoding)) {
    const std::string& CMapName = Name->Value();
    if (!IsIdentityCMapName(CMapName)) Rec.Encoding = CMapStore().Find(CMapName);
    // A vertical CMap gives the text of its horizontal form.
    if (Rec.Encoding && CMapName.size() > 2 && CMapName.compare(CMapName.size() - 2, 2, "-V") == 0)
      Rec.TextEncoding = CMapStore().Find(CMapName.substr(0, CMapName.size() - 1) + "H");
  } else if (auto* Stream = As<TPDFStream>(Encoding)) {
    // An embedded CMap, perhaps on top of a predefined one.
    auto Map = std::make_shared<TPDFCMap>();
    Map->Parse(Stream->GetDecodedData());
    if (Map->UseCMap.empty())
      if (auto* Dict = Stream->Dictionary())
        if (const auto* Use = As<TPDFName>(Dict->GetValue("UseCMap", true))) Map->UseCMap = Use->Value();
    if (!Map->UseCMap.empty()) Map->Inherit(CMapStore().Find(Map->UseCMap));
    if (!Map->HasCodespace()) {
      // No codespace of its own or inherited: two-byte codes, as Identity-H.
      TPDFCodespaceRange All;
      All.Bytes = 2;
      All.High = {0xFF, 0xFF, 0, 0};
      Map->Codespaces.push_back(All);
    }
    if (Map->CIDRanges.empty() && Map->NotdefRanges.empty() && IsIdentityCMapName(Map->UseCMap))
      Map->CIDRanges.push_back({0, 0xFFFF, 0, 0});
    Map->Finish();
    Rec.Encoding = std::move(Map);
  }
  if (!Rec.TextEncoding) Rec.TextEncoding = Rec.Encoding;
  // Vertical writing: a CMap of WMode 1, or one named as vertical (Identity-V
  // is read as no CMap at all).
  const auto* EncodingName = As<TPDFName>(Encoding);
  const bool VerticalName = EncodingName && EncodingName->Value().size() > 2 &&
                            EncodingName->Value().compare(EncodingName->Value().size() - 2, 2, "-V") == 0;
  if (VerticalName || (Rec.Encoding && Rec.Encoding->WMode == 1))
    Rec.VerticalMetrics = BuildCIDVerticalMetrics(Descendant);
  if (Rec.Encoding) {
    Registry = Rec.Encoding->Registry;
    Ordering = Rec.Encoding->Ordering;
  }
  // The descendant's collection, when it names one, rules.
  if (auto* Info = Descendant ? As<TPDFDictionary>(Descendant->GetValue("CIDSystemInfo", true)) : nullptr) {
    const std::string R = StringValue(Info->GetValue("Registry", true));
    const std::string O = StringValue(Info->GetValue("Ordering", true));
    if (!R.empty() && !O.empty()) {
      Registry = R;
      Ordering = O;
    }
  }
  if (IsAdobeCollection(Registry, Ordering)) {
    Rec.CIDToUnicode = CMapStore().CIDToUnicode(Registry, Ordering);
    return;
  }
  // Identity (or a collection of no known map): the glyphs of the embedded
  // program. An installed substitute is a font the document never names, so
  // its cmap says nothing about these codes: without a program they have no
  // text.
  auto* Descriptor = Descendant ? As<TPDFDictionary>(Descendant->GetValue("FontDescriptor", true)) : nullptr;
  const bool Embedded = Descriptor && (As<TPDFStream>(Descriptor->GetValue("FontFile", true)) ||
                                       As<TPDFStream>(Descriptor->GetValue("FontFile2", true)) ||
                                       As<TPDFStream>(Descriptor->GetValue("FontFile3", true)));
  if (!Embedded) return;
  auto Texts = std::make_shared<std::vector<std::u32string>>();
  const TPDFFontRasterizer* Program = Rec.Rasterizer.get();
  if (const auto* TrueType = dynamic_cast<const TPDFTrueTypeRasterizer2*>(Program)) {
    const TPDFTrueTypeParser& P = *TrueType->Parser;
    Texts->resize(std::max(P.GlyphUnicodes.size(), P.GlyphNames.size()));
    for (size_t G = 0; G < Texts->size(); ++G) {
      if (G < P.GlyphUnicodes.size() && P.GlyphUnicodes[G])
        (*Texts)[G] = P.GlyphUnicodes[G];
      else if (G < P.GlyphNames.size() && !P.GlyphNames[G].empty() && P.GlyphNames[G] != ".notdef")
        (*Texts)[G] = GlyphNameToUnicode(P.GlyphNames[G]);
    }
  } else if (const auto* CFF = dynamic_cast<const TPDFType1Decoder*>(Program);
             CFF && !CFF->IsCIDKeyed) {
    // A CFF font that is not CID-keyed: CIDs are glyph indices, and the
    // charset names the glyphs.
    Texts->resize(CFF->GlyphNames.size());
    for (size_t G = 0; G < Texts->size(); ++G)
      if (CFF->GlyphNames[G] != ".notdef") (*Texts)[G] = GlyphNameToUnicode(CFF->GlyphNames[G]);
  }
  if (std::any_of(Texts->begin(), Texts->end(), [](const std::u32string& T) { return !T.empty(); }))
    Rec.GlyphTexts = std::move(Texts);
}

// ---------------------------------------------------------------- TPDFFontCollectionData

bool TPDFFontCollectionData::NextCode(std::string_view Bytes, size_t& Pos, uint32_t& Code) const {
  if (IsComposite && Encoding) return Encoding->NextCode(Bytes, Pos, Code);
  const size_t Length = IsComposite ? 2 : 1;
  if (Pos + Length > Bytes.size()) {
    Pos = Bytes.size();
    return false;
  }
  Code = static_cast<unsigned char>(Bytes[Pos]);
  if (Length == 2) Code = Code << 8 | static_cast<unsigned char>(Bytes[Pos + 1]);
  Pos += Length;
  return true;
}

uint32_t TPDFFontCollectionData::CIDOf(uint32_t Code) const {
  if (!Encoding) return Code;
  return Encoding->LookupCID(Code).value_or(0);
}

bool TPDFFontCollectionData::CodeUnicode(uint32_t Code, std::u32string& Out) const {
  if (ToUnicode && ToUnicode->Lookup(Code, Out)) return true;
  if (!IsComposite) return false;
  uint32_t CID = Code;
  if (TextEncoding) {
    const auto Mapped = TextEncoding->LookupCID(Code);
    if (!Mapped) return false;
    CID = *Mapped;
  }
  if (CIDToUnicode) return CIDToUnicode->Lookup(CID, Out);
  if (!GlyphTexts) return false;
  uint32_t Glyph = CID;
  if (!CIDToGIDMap.empty()) {
    const uint64_t At = uint64_t{CID} * 2;
    if (At + 1 >= CIDToGIDMap.size()) return false;
    Glyph = static_cast<unsigned char>(CIDToGIDMap[At]) << 8 | static_cast<unsigned char>(CIDToGIDMap[At + 1]);
  }
  if (Glyph >= GlyphTexts->size() || (*GlyphTexts)[Glyph].empty()) return false;
  Out += (*GlyphTexts)[Glyph];
  return true;
}
