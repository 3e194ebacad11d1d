// TrueType rasterizers and the choice of installed substitute fonts.
#include "uPDFTrueTypeRasterizer.h"

#include <algorithm>
#include <tuple>

#include "SystemFonts.h"
#include "uPDFFontConst.h"

namespace {

bool EndsWith(std::string_view S, std::string_view Tail) {
  return S.size() >= Tail.size() && S.substr(S.size() - Tail.size()) == Tail;
}

void ReplaceAll(std::string& S, std::string_view From, std::string_view To) {
  for (size_t At = S.find(From); At != std::string::npos; At = S.find(From, At + To.size()))
    S.replace(At, From.size(), To);
}

bool RemoveSuffix(std::string& S, std::string_view Tail) {
  if (!EndsWith(S, Tail)) return false;
  S.resize(S.size() - Tail.size());
  return true;
}

}  // namespace

TSystemFontChoice SelectSystemFont(std::string_view FontName, int32_t Flags, const std::vector<std::string>& Families) {
  std::string Name(FontName);
  // Adobe's "MT" marks.
  RemoveSuffix(Name, "MT");
  if (const size_t At = Name.find("MT-"); At != std::string::npos) Name.erase(At, 3);
  // A subset prefix of six capitals, then anything from a "+" on.
  if (Name.size() > 7 && Name[6] == '+' &&
      std::all_of(Name.begin(), Name.begin() + 6, [](char C) { return C >= 'A' && C <= 'Z'; }))
    Name.erase(0, 7);
  if (const size_t Plus = Name.find('+'); Plus != std::string::npos) Name.resize(Plus);
  // Style suffixes in the ",Style" form.
  ReplaceAll(Name, "-BoldItalic", ",BoldItalic");
  ReplaceAll(Name, "-BoldOblique", ",BoldItalic");
  ReplaceAll(Name, "-Bold", ",Bold");
  ReplaceAll(Name, "-Italic", ",Italic");
  ReplaceAll(Name, "-Oblique", ",Italic");
  // The standard fonts go by their substitutes' names.
  if (const int Standard = StandardFontIndex(Name); Standard > 0) Name = StandardFontSubstitute(Standard);
  TSystemFontChoice Choice;
  if (RemoveSuffix(Name, ",Bold")) Choice.Bold = true;
  if (RemoveSuffix(Name, ",Italic")) Choice.Italic = true;
  if (RemoveSuffix(Name, ",BoldItalic")) Choice.Bold = Choice.Italic = true;

  for (const auto& Family : Families) {
    std::string Spaceless;
    for (char C : Family)
      if (C != ' ') Spaceless += C;
    if (Spaceless == Name) {
      Choice.Family = Family;
      return Choice;
    }
  }
  // No such family: a plain face of the font's kind.
  Choice = {"Arial", false, (Flags & 64) != 0};
  if (Flags & 1) Choice.Family = "Courier";
  if (Flags & 2) Choice.Family = "Times New Roman";
  return Choice;
}

void GetSubstituteWidths(const TPDFTrueTypeRasterizer2& Rasterizer, const TPDFGlyphNames& Names,
                         TPDFGlyphWidths& Widths) {
  for (int C = 0; C < 256; ++C) {
    const int32_t Glyph = Rasterizer.Parser->GlyphIndexOfName(Names[C]);
    if (Glyph >= 0) Widths[C] = Rasterizer.Parser->AdvanceOf(Glyph);
  }
}

// ================================================================ TPDFSubstituteFonts

TPDFSubstituteFonts& TPDFSubstituteFonts::Installed() {
  static TPDFSubstituteFonts Substitutes(TSystemFonts::Installed());
  return Substitutes;
}

std::shared_ptr<const TPDFTrueTypeParser> TPDFSubstituteFonts::Program(const TSystemFontChoice& Choice) {
  const auto Key = std::make_tuple(Choice.Family, Choice.Bold, Choice.Italic);
  {
    std::lock_guard<std::mutex> Lock(FMutex);
    if (auto It = FPrograms.find(Key); It != FPrograms.end()) return It->second;
  }
  auto File = FFonts.FontFile(Choice.Family, Choice.Bold, Choice.Italic, MaxSystemFontFile);
  if (File.Error || File.Size > MaxSystemFontFile) File = FFonts.FontFile("Arial", Choice.Bold, Choice.Italic, MaxSystemFontFile);
  auto Parser = std::make_shared<TPDFTrueTypeParser>();
  if (!File.Error && File.Size > 0 && File.Size < MaxSystemFontFile) Parser->LoadFromData(File.Bytes);
  std::lock_guard<std::mutex> Lock(FMutex);
  return FPrograms.emplace(Key, std::move(Parser)).first->second;
}

std::shared_ptr<const TPDFTrueTypeRasterizer2> TPDFSubstituteFonts::Substitute(const std::string& FontName,
                                                                                int32_t Flags) {
  const auto Key = std::make_pair(FontName, Flags);
  {
    std::lock_guard<std::mutex> Lock(FMutex);
    if (auto It = FByName.find(Key); It != FByName.end()) return It->second;
  }
  const TSystemFontChoice Choice = SelectSystemFont(FontName, Flags, FFonts.FamilyList());
  auto Rasterizer = std::make_shared<const TPDFTrueTypeRasterizer2>(Program(Choice), (Flags & 4) != 0);
  std::lock_guard<std::mutex> Lock(FMutex);
  return FByName.emplace(Key, std::move(Rasterizer)).first->second;
}

// ================================================================ TPDFDeferredSubstitute

std::shared_ptr<const TPDFTrueTypeRasterizer2> TPDFDeferredSubstitute::Resolve() const {
  std::call_once(FOnce, [this] { FResolved = FFonts.Substitute(FFontName, FFlags); });
  return FResolved;
}
