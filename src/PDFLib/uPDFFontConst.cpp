// Encoding and metrics tables of the simple fonts and the width sources of font dictionaries.
#include "uPDFFontConst.h"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <unordered_map>
#include <utility>

#include "CodePage.h"
#include "uPDFExtra.h"
#include "uPDFStructure.h"

namespace {

namespace FontKey {
inline constexpr std::string_view FirstChar = "FirstChar";
inline constexpr std::string_view LastChar = "LastChar";
inline constexpr std::string_view Widths = "Widths";
inline constexpr std::string_view DW = "DW";
inline constexpr std::string_view W2 = "W2";
inline constexpr std::string_view DW2 = "DW2";
}  // namespace FontKey

// One row of the Latin character set. Codes are indexed by TPDFBaseEncoding
// (encStandard .. encPDFDoc), -1 where the encoding lacks the glyph; Widths by
// standard font 1..12 minus one.
struct TLatinGlyph {
  std::string_view Name;
  int16_t Codes[4];
  int16_t Widths[12];
};

struct TNamedValue {
  std::string_view Name;
  int16_t Value;
};

// A glyph of a built-in encoding: its name, its code, the character it shows.
struct TBuiltInGlyph {
  std::string_view Name;
  uint8_t Code;
  char32_t Char;
};

#include "uPDFFontTables.inc"

constexpr int LatinFonts = 12;
constexpr int SymbolFont = 13;
constexpr int DingbatsFont = 14;
constexpr std::string_view NotDef = ".notdef";

// CIDs are two-byte codes: only these slots can ever be looked up.
constexpr uint32_t CIDSlots = 65536;

// Name look-ups are binary searches: the generator writes these two sorted.
constexpr auto NameLess = [](const auto& A, const auto& B) { return A.Name < B.Name; };
static_assert(std::is_sorted(std::begin(LatinGlyphs), std::end(LatinGlyphs), NameLess));
static_assert(std::is_sorted(std::begin(SymbolWidths), std::end(SymbolWidths), NameLess));
static_assert(std::is_sorted(std::begin(SymbolEncoding), std::end(SymbolEncoding), NameLess));
static_assert(std::is_sorted(std::begin(DingbatsEncoding), std::end(DingbatsEncoding), NameLess));

template <class T, size_t N>
const T* FindByName(const T (&Table)[N], std::string_view Name) {
  const T* It = std::lower_bound(std::begin(Table), std::end(Table), Name,
                                 [](const T& Row, std::string_view Key) { return Row.Name < Key; });
  return It != std::end(Table) && It->Name == Name ? It : nullptr;
}

using TEncodingTables = std::array<TPDFGlyphNames, 5>;

TPDFGlyphNames BuildEncoding(TPDFBaseEncoding Encoding) {
  TPDFGlyphNames Names;
  std::array<bool, 256> Has{};
  if (Encoding == TPDFBaseEncoding::encMacExpert) {
    for (const auto& Row : MacExpertCodes) {
      Names[Row.Value] = Row.Name;
      Has[Row.Value] = true;
    }
  } else {
    const int Column = static_cast<int>(Encoding);
    for (const auto& Row : LatinGlyphs) {
      int Code = Row.Codes[Column];
      if (Code < 0) continue;
      Names[Code] = Row.Name;
      Has[Code] = true;
    }
  }
  for (int Code = 0; Code < 256; ++Code) {
    if (Has[Code]) continue;
    std::string_view Filler = NotDef;
    if (Encoding == TPDFBaseEncoding::encWinAnsi) {
      // WinAnsiEncoding has a glyph for every code above the controls.
      if (Code == 160)
        Filler = "A0space";
      else if (Code == 173)
        Filler = "hyphen";
      else if (Code >= 32)
        Filler = "bullet";
    } else if (Encoding == TPDFBaseEncoding::encMacRoman && Code == 202) {
      Filler = "space";
    }
    Names[Code] = Filler;
  }
  return Names;
}

// The names of every base encoding, built once.
const TEncodingTables& EncodingTables() {
  static const TEncodingTables Tables = [] {
    TEncodingTables T;
    for (int E = 0; E < static_cast<int>(T.size()); ++E) T[E] = BuildEncoding(static_cast<TPDFBaseEncoding>(E));
    return T;
  }();
  return Tables;
}

// WinAnsiEncoding's names with one code each, sorted by name. Where a name
// stands at several codes, these win: the bullet and the hyphen of the
// character set, and control byte 1 for .notdef (a NUL would end C strings).
const std::vector<std::pair<std::string_view, uint8_t>>& WinAnsiIndex() {
  static const auto Index = [] {
    constexpr std::pair<std::string_view, uint8_t> Preferred[] = {{NotDef, 1}, {"bullet", 149}, {"hyphen", 45}};
    const TPDFGlyphNames& Names = EncodingTables()[static_cast<int>(TPDFBaseEncoding::encWinAnsi)];
    std::vector<std::pair<std::string_view, uint8_t>> List;
    List.reserve(256);
    for (int Code = 0; Code < 256; ++Code) List.emplace_back(Names[Code], static_cast<uint8_t>(Code));
    // Ordered by name, then the preferred code first, then the lowest.
    auto Rank = [&](const std::pair<std::string_view, uint8_t>& E) {
      for (const auto& P : Preferred)
        if (P == E) return -1;
      return static_cast<int>(E.second);
    };
    std::sort(List.begin(), List.end(), [&](const auto& A, const auto& B) {
      if (A.first != B.first) return A.first < B.first;
      return Rank(A) < Rank(B);
    });
    List.erase(std::unique(List.begin(), List.end(), [](const auto& A, const auto& B) { return A.first == B.first; }),
               List.end());
    return List;
  }();
  return Index;
}

}  // namespace

// ================================================================ encodings

void GetEncodingGlyphNames(TPDFBaseEncoding Encoding, TPDFGlyphNames& Names) {
  const TEncodingTables& Tables = EncodingTables();
  auto Index = static_cast<size_t>(Encoding);
  Names = Tables[Index < Tables.size() ? Index : 0];
}

void GetBuiltInEncoding(int StandardFont, TPDFGlyphNames& Names) {
  const auto Fill = [&](const auto& Table) {
    Names.fill(std::string(NotDef));
    for (const auto& Row : Table) Names[Row.Code] = Row.Name;
  };
  if (StandardFont == SymbolFont) Fill(SymbolEncoding);
  if (StandardFont == DingbatsFont) Fill(DingbatsEncoding);
}

void ApplyDifferences(TPDFGlyphNames& Names, const TPDFArray* Differences) {
  if (!Differences) return;
  // 64 bits: a name after code 2147483647 must not wrap round to a valid code.
  int64_t Code = 0;
  for (const TPDFObject* Item : Differences->Items()) {
    if (const auto* Number = As<TPDFNumeric>(Item)) {
      Code = Number->IntValue();
    } else if (const auto* Name = As<TPDFName>(Item)) {
      if (Code >= 0 && Code <= 255) Names[Code] = Name->Value();
      ++Code;
    }
  }
}

int WinAnsiCodeOf(std::string_view GlyphName) {
  // Hashed: this runs for every code of every font loaded.
  static const std::unordered_map<std::string_view, uint8_t> Codes(WinAnsiIndex().begin(), WinAnsiIndex().end());
  auto It = Codes.find(GlyphName);
  return It != Codes.end() ? It->second : -1;
}

namespace {

struct TGlyphListEntry {
  std::string_view Name;
  std::u32string_view Chars;
};

#include "uPDFGlyphList.inc"

// The value of Digits (hexadecimal, either case), or -1.
int64_t HexValue(std::string_view Digits) {
  int64_t Value = 0;
  for (char C : Digits) {
    const int D = HexDigitValue(static_cast<unsigned char>(C));
    if (D < 0) return -1;
    Value = Value * 16 + D;
  }
  return Value;
}

bool IsScalarValue(int64_t V) { return V >= 0 && V <= 0x10FFFF && !(V >= 0xD800 && V <= 0xDFFF); }

// One component of a glyph name; false when it stands for nothing.
bool ComponentToUnicode(std::string_view Name, std::u32string& Out) {
  auto It = std::lower_bound(std::begin(GlyphListTable), std::end(GlyphListTable), Name,
                             [](const TGlyphListEntry& E, std::string_view N) { return E.Name < N; });
  if (It != std::end(GlyphListTable) && It->Name == Name) {
    Out += It->Chars;
    return true;
  }
  if (Name.size() >= 7 && Name.substr(0, 3) == "uni" && (Name.size() - 3) % 4 == 0) {
    std::u32string Chars;
    for (size_t I = 3; I < Name.size(); I += 4) {
      const int64_t V = HexValue(Name.substr(I, 4));
      if (!IsScalarValue(V)) return false;
      Chars += static_cast<char32_t>(V);
    }
    Out += Chars;
    return true;
  }
  if (Name.size() >= 5 && Name.size() <= 7 && Name[0] == 'u') {
    const int64_t V = HexValue(Name.substr(1));
    if (!IsScalarValue(V)) return false;
    Out += static_cast<char32_t>(V);
    return true;
  }
  return false;
}

constexpr std::string_view LigatureLetters[] = {"ff", "fi", "fl", "ffi", "ffl", "st", "st"};

constexpr char32_t ReplacementCharacter = 0xFFFD;

}  // namespace

std::u32string GlyphNameToUnicode(std::string_view GlyphName) {
  const std::string_view Base = GlyphName.substr(0, GlyphName.find('.'));
  std::u32string Chars;
  size_t Start = 0;
  while (Start <= Base.size()) {
    const size_t End = std::min(Base.find('_', Start), Base.size());
    const std::string_view Component = Base.substr(Start, End - Start);
    if (Component.empty() || !ComponentToUnicode(Component, Chars)) return {};
    Start = End + 1;
  }
  return Chars;
}

std::string UnicodeToText(std::u32string_view Chars, const TCodePage& CodePage) {
  std::string Text;
  for (char32_t C : Chars) {
    if (C >= 0xFB00 && C <= 0xFB06)
      Text += LigatureLetters[C - 0xFB00];
    else
      Text += CodePage.FromCodePoint(C);
  }
  return Text;
}

bool CodePageHasAll(std::u32string_view Chars, const TCodePage& CodePage) {
  for (char32_t C : Chars)
    if (!(C >= 0xFB00 && C <= 0xFB06) && !CodePage.Has(C)) return false;
  return true;
}

void GlyphNamesToTexts(const TPDFGlyphNames& Names, TPDFCodeTexts& Texts, const TCodePage& CodePage) {
  for (size_t C = 0; C < Names.size(); ++C) {
    int Code = WinAnsiCodeOf(Names[C]);
    if (Code >= 0) {
      Texts[C] = CodePage.FromWinAnsi(static_cast<unsigned char>(Code));
      continue;
    }
    // A name WinAnsiEncoding lacks: its characters when the code page has
    // them all. A name that stands for no character shows as U+FFFD in a
    // code page that has it, never as its letters; elsewhere, as those
    // other names, as its own letters.
    const std::u32string Chars = GlyphNameToUnicode(Names[C]);
    if (!Chars.empty() && CodePageHasAll(Chars, CodePage))
      Texts[C] = UnicodeToText(Chars, CodePage);
    else if (Chars.empty() && !Names[C].empty() && CodePage.Has(ReplacementCharacter))
      Texts[C] = CodePage.FromCodePoint(ReplacementCharacter);
    else
      Texts[C] = Names[C];
  }
}

void BuiltInGlyphTexts(int StandardFont, const TPDFGlyphNames& Names, TPDFCodeTexts& Texts, const TCodePage& CodePage) {
  if (StandardFont != SymbolFont && StandardFont != DingbatsFont) return;
  for (size_t C = 0; C < Names.size(); ++C) {
    if (WinAnsiCodeOf(Names[C]) >= 0) continue;
    const TBuiltInGlyph* Row =
        StandardFont == SymbolFont ? FindByName(SymbolEncoding, Names[C]) : FindByName(DingbatsEncoding, Names[C]);
    if (!Row) continue;
    std::u32string Chars = GlyphNameToUnicode(Names[C]);
    if (Chars.empty()) Chars.assign(1, Row->Char);
    if (CodePageHasAll(Chars, CodePage))
      Texts[C] = UnicodeToText(Chars, CodePage);
    else if (CodePage.Has(ReplacementCharacter))
      Texts[C] = CodePage.FromCodePoint(ReplacementCharacter);
    else
      Texts[C] = "?";
  }
}

int NumericGlyphNameCode(std::string_view Name) {
  if (!GlyphNameToUnicode(Name).empty()) return -1;
  auto IsLetter = [](char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z'); };
  int64_t Value = -1;
  if (Name.size() >= 2 && Name.size() <= 3 && (Name[0] == 'x' || Name[0] == 'X')) {
    Value = HexValue(Name.substr(1));  // "x41"
  } else {
    size_t Letters = 0;
    while (Letters < Name.size() && Letters < 2 && IsLetter(Name[Letters])) ++Letters;
    const std::string_view Digits = Name.substr(Letters);
    if (Letters == 0 || Digits.empty() || Digits.size() > 3) return -1;
    Value = 0;
    for (char D : Digits) {
      if (D < '0' || D > '9') return -1;
      Value = Value * 10 + (D - '0');
    }
  }
  return Value >= 0 && Value <= 255 ? static_cast<int>(Value) : -1;
}

void ResolveNumericGlyphNames(TPDFGlyphNames& Names, const TPDFGlyphNames& Encoding) {
  for (std::string& Name : Names) {
    const int Code = NumericGlyphNameCode(Name);
    if (Code < 0) continue;
    const std::string& Named = Encoding[static_cast<size_t>(Code)];
    if (!Named.empty() && Named != ".notdef") Name = Named;
  }
}

TPDFBaseEncoding EncodingFromName(std::string_view Name) {
  if (Name == "WinAnsiEncoding") return TPDFBaseEncoding::encWinAnsi;
  if (Name == "MacRomanEncoding") return TPDFBaseEncoding::encMacRoman;
  if (Name == "PDFDocEncoding") return TPDFBaseEncoding::encPDFDoc;
  if (Name == "MacExpertEncoding") return TPDFBaseEncoding::encMacExpert;
  return TPDFBaseEncoding::encStandard;
}

// ================================================================ widths

void GetStandardFontWidths(int StandardFont, const TPDFGlyphNames& Names, TPDFGlyphWidths& Widths) {
  if (StandardFont >= 1 && StandardFont <= LatinFonts) {
    for (size_t C = 0; C < Names.size(); ++C) {
      const TLatinGlyph* Row = FindByName(LatinGlyphs, Names[C]);
      Widths[C] = Row ? Row->Widths[StandardFont - 1] : DefaultGlyphWidth;
    }
  } else if (StandardFont == SymbolFont) {
    for (size_t C = 0; C < Names.size(); ++C) {
      const TNamedValue* Row = FindByName(SymbolWidths, Names[C]);
      Widths[C] = Row ? Row->Value : DefaultGlyphWidth;
    }
  }
}

void ApplyWidthsArray(const TPDFDictionary* Font, TPDFGlyphWidths& Widths, int32_t& FirstChar, int32_t& LastChar) {
  FirstChar = 0;
  LastChar = 0;
  if (!Font) return;
  const auto* First = As<TPDFNumeric>(Font->GetValue(FontKey::FirstChar, true));
  if (!First) return;
  FirstChar = First->IntValue();
  const auto* Last = As<TPDFNumeric>(Font->GetValue(FontKey::LastChar, true));
  if (!Last) return;
  LastChar = std::min(Last->IntValue(), int32_t{255});
  const auto* Array = As<TPDFArray>(Font->GetValue(FontKey::Widths, true));
  if (!Array) return;
  // Elements before code 0 are skipped without a walk over them.
  int64_t Start = std::max<int64_t>(0, -int64_t{FirstChar});
  for (int64_t T = Start; T < Array->Count(); ++T) {
    int64_t Code = FirstChar + T;
    if (Code > LastChar) break;
    const auto* Width = As<TPDFNumeric>(Array->GetItem(static_cast<int>(T)));
    Widths[Code] = Width ? Width->Value() : 0.0;
  }
}

// ================================================================ TPDFCIDWidths

int32_t TPDFCIDWidths::Width(int64_t Cid) const {
  if (Cid < 0 || Cid >= static_cast<int64_t>(FWidths.size())) return Default;
  // A slot that is still free is its own next free slot.
  auto Slot = static_cast<uint32_t>(Cid);
  return FNextFree[Slot] != Slot ? FWidths[Slot] : Default;
}

// The first free slot at or after Cid (CIDSlots when none is left). Every slot
// on the way is pointed at the result, so that a later search over the same
// stretch takes one step.
uint32_t TPDFCIDWidths::FindFree(uint32_t Cid) {
  uint32_t Free = Cid;
  while (FNextFree[Free] != Free) Free = FNextFree[Free];
  while (FNextFree[Cid] != Free) {
    uint32_t Next = FNextFree[Cid];
    FNextFree[Cid] = Free;
    Cid = Next;
  }
  return Free;
}

void TPDFCIDWidths::AddRange(int64_t Cid, int64_t Last, int32_t Width) {
  Cid = std::max<int64_t>(Cid, 0);
  Last = std::min<int64_t>(Last, CIDSlots - 1);
  if (Last < Cid) return;
  if (static_cast<uint64_t>(Last) >= FWidths.size()) {
    // The table grows (by doubling) to the highest CID listed, so that fonts
    // with few CIDs stay small. New slots are free; the old end slot, free
    // too, becomes an ordinary one. One slot more than the CIDs marks the end.
    size_t Size = std::max<size_t>(FWidths.size(), 256);
    while (Size <= static_cast<uint64_t>(Last)) Size *= 2;
    Size = std::min<size_t>(Size, CIDSlots);
    const size_t Old = FNextFree.size();
    FWidths.resize(Size, 0);
    FNextFree.resize(Size + 1);
    std::iota(FNextFree.begin() + static_cast<std::ptrdiff_t>(Old), FNextFree.end(), static_cast<uint32_t>(Old));
  }
  const auto End = static_cast<uint32_t>(Last);
  for (uint32_t Slot = FindFree(static_cast<uint32_t>(Cid)); Slot <= End; Slot = FindFree(Slot + 1)) {
    FWidths[Slot] = Width;
    FNextFree[Slot] = Slot + 1;
    ++FCount;
  }
}

std::unique_ptr<TPDFCIDWidths> BuildCIDWidths(const TPDFArray* W, const TPDFDictionary* Font) {
  // A DW without a W still gives every CID its width.
  const auto* DW = Font ? As<TPDFNumeric>(Font->GetValue(FontKey::DW, true)) : nullptr;
  if (!W && !DW) return nullptr;
  auto List = std::make_unique<TPDFCIDWidths>();
  if (DW) List->Default = DW->IntValue();
  if (!W) return List;
  const int64_t Count = W->Count();
  int64_t P = 0;
  while (P < Count - 1) {
    const auto* First = As<TPDFNumeric>(W->GetItem(static_cast<int>(P)));
    if (!First || First->IntValue() < 0) break;
    const int64_t Cid = First->IntValue();
    TPDFObject* Second = W->GetItem(static_cast<int>(P + 1));
    if (auto* Ref = As<TPDFIndRef>(Second)) Second = Ref->Resolve();
    if (const auto* LastCid = As<TPDFNumeric>(Second)) {
      // c_first c_last w
      const auto* Width = P < Count - 2 ? As<TPDFNumeric>(W->GetItem(static_cast<int>(P + 2))) : nullptr;
      if (!Width) break;
      List->AddRange(Cid, LastCid->IntValue(), Width->IntValue());
      P += 3;
    } else if (const auto* Widths = As<TPDFArray>(Second)) {
      // c [w1 w2 ...]
      int64_t Next = Cid;
      for (const TPDFObject* Item : Widths->Items()) {
        if (Next >= CIDSlots) break;  // the rest would be dropped
        if (const auto* Width = As<TPDFNumeric>(Item)) List->AddRange(Next, Next, Width->IntValue());
        ++Next;
      }
      P += 2;
    } else {
      break;
    }
  }
  return List;
}

double GetCIDWidth(const TPDFCIDWidths* List, int64_t Cid) { return List ? List->Width(Cid) : 1000.0; }

// ================================================================ standard fonts

namespace {

// Rows 1..14; a BaseFont name followed by "*" is looked for in the patterns,
// and the last row holding it wins.
constexpr TPDFStandardFont StandardFonts[] = {
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

const TPDFStandardFont* StandardFont(int Index) { return Index >= 1 && Index <= 14 ? &StandardFonts[Index - 1] : nullptr; }

TPDFCIDVerticalMetrics::TPDFCIDVerticalMetrics() {
  W1.Default = -1000;
  VY.Default = 880;
  VX.Default = HalfWidth;
}

std::unique_ptr<TPDFCIDVerticalMetrics> BuildCIDVerticalMetrics(const TPDFDictionary* Font) {
  auto Metrics = std::make_unique<TPDFCIDVerticalMetrics>();
  if (!Font) return Metrics;
  if (const auto* DW2 = As<TPDFArray>(Font->GetValue(FontKey::DW2, true)); DW2 && DW2->Count() == 2) {
    const auto* VY = As<TPDFNumeric>(DW2->GetItem(0));
    const auto* W1 = As<TPDFNumeric>(DW2->GetItem(1));
    if (VY && W1) {
      Metrics->VY.Default = VY->IntValue();
      Metrics->W1.Default = W1->IntValue();
    }
  }
  const auto* W2 = As<TPDFArray>(Font->GetValue(FontKey::W2, true));
  if (!W2) return Metrics;
  auto Add = [&](int64_t First, int64_t Last, const TPDFNumeric* W1, const TPDFNumeric* VX, const TPDFNumeric* VY) {
    Metrics->W1.AddRange(First, Last, W1->IntValue());
    Metrics->VX.AddRange(First, Last, VX->IntValue());
    Metrics->VY.AddRange(First, Last, VY->IntValue());
  };
  const int64_t Count = W2->Count();
  auto NumberAt = [&](int64_t I) { return I < Count ? As<TPDFNumeric>(W2->GetItem(static_cast<int>(I))) : nullptr; };
  for (int64_t P = 0; P < Count - 1;) {
    const auto* First = NumberAt(P);
    if (!First || First->IntValue() < 0) break;
    const int64_t Cid = First->IntValue();
    TPDFObject* Second = W2->GetItem(static_cast<int>(P + 1));
    if (auto* Ref = As<TPDFIndRef>(Second)) Second = Ref->Resolve();
    if (const auto* Last = As<TPDFNumeric>(Second)) {
      // c_first c_last w1y vx vy
      const auto *W1 = NumberAt(P + 2), *VX = NumberAt(P + 3), *VY = NumberAt(P + 4);
      if (!W1 || !VX || !VY) break;
      Add(Cid, Last->IntValue(), W1, VX, VY);
      P += 5;
    } else if (const auto* List = As<TPDFArray>(Second)) {
      // c [w1y vx vy w1y vx vy ...]
      int64_t Next = Cid;
      for (int64_t I = 0; I + 2 < List->Count() && Next < CIDSlots; I += 3, ++Next) {
        const auto* W1 = As<TPDFNumeric>(List->GetItem(static_cast<int>(I)));
        const auto* VX = As<TPDFNumeric>(List->GetItem(static_cast<int>(I + 1)));
        const auto* VY = As<TPDFNumeric>(List->GetItem(static_cast<int>(I + 2)));
        if (W1 && VX && VY) Add(Next, Next, W1, VX, VY);
      }
      P += 2;
    } else {
      break;
    }
  }
  return Metrics;
}
