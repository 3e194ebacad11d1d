// The plain text extractor.
#include "uPDFExtractor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "uPDFBudget.h"
#include "uPDFExtra.h"
#include "uPDFFontConst.h"
#include "uPDFFontCollection.h"
#include "uPDFImage.h"
#include "uPDFStructure.h"

namespace {

constexpr const char* LineBreak = "\r\n";

}  // namespace

TPDFExtractor::TPDFExtractor(TPDFDictionary* Resources, TPDFFontCollection& FontCollection, const TCodePage& CodePage)
    : FResources(Resources), FStructure(Resources ? Resources->Structure() : nullptr), FFonts(FontCollection),
      FCodePage(CodePage), FOwnBudget(std::make_unique<TPDFPageBudget>()), FBudget(FOwnBudget.get()) {}

TPDFExtractor::~TPDFExtractor() = default;

namespace {

// Whether a token may be an operator: operators begin with a letter or a
// quote.
bool IsOperatorStart(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '\'' || C == '"'; }

}  // namespace

// ---------------------------------------------------------------- tokens

std::string TPDFExtractor::NextToken() {
  for (;;) {
    const int64_t Start = FPos;
    std::string Token = NextTokenOfPart();
    // A string that a stream leaves open goes on in the next one (files
    // split their content anywhere): what is left of this stream from the
    // token on and the next stream are read as one, a line feed between.
    if (FPos > static_cast<int64_t>(FContent.size()) && FNextStream < FStreams.size() && StringTokenUnclosed(Token)) {
      const std::string* Next = FBudget->Content(*FStreams[FNextStream]);
      const std::string_view Rest = FContent.substr(std::min(static_cast<size_t>(Start - 1), FContent.size()));
      if (Next && FBudget->Hold(Rest.size() + 1 + Next->size())) {
        ++FNextStream;
        std::string& Joined = FJoined.emplace_back();
        Joined.reserve(Rest.size() + 1 + Next->size());
        Joined.append(Rest);
        Joined += '\n';
        Joined += *Next;
        FContent = Joined;
        FPos = 1;
        continue;
      }
    }
    if (!Token.empty() || FNextStream >= FStreams.size()) return Token;
    // The next stream; one past the page's budget ends the content.
    const std::string* Content = FBudget->Content(*FStreams[FNextStream++]);
    if (!Content) return {};
    FContent = *Content;
    FPos = 1;
  }
}

std::string TPDFExtractor::NextTokenOfPart() {
  // A stream that another follows ends in a line feed of its own, so that no
  // token runs from one into the next.
  const bool More = FNextStream < FStreams.size();
  const int64_t Size = static_cast<int64_t>(FContent.size()) + (More ? 1 : 0);
  auto At = [&](int64_t P) {
    return P > static_cast<int64_t>(FContent.size()) ? static_cast<unsigned char>('\n')
                                                     : static_cast<unsigned char>(FContent[static_cast<size_t>(P - 1)]);
  };
  if (FPos >= Size) return {};
  while (FPos <= Size && IsPDFWhite(At(FPos))) ++FPos;
  if (FPos == Size) {
    ++FPos;
    return std::string(1, static_cast<char>(At(Size)));
  }
  if (FPos > Size) return {};
  const int64_t Start = FPos;
  const unsigned char C = At(FPos);
  if (C == '(') {
    int Depth = 1;
    bool Escape = false;
    while (FPos < Size) {
      ++FPos;
      const unsigned char B = At(FPos);
      if (Escape) {
        Escape = false;
      } else if (B == '\\') {
        Escape = true;
      } else if (B == '(') {
        ++Depth;
      } else if (B == ')' && --Depth == 0) {
        break;
      }
    }
    ++FPos;
  } else if (C == '<') {
    while (FPos < Size && At(FPos) != '>') ++FPos;
    ++FPos;
  } else if (C == '[' || C == ']') {
    ++FPos;
  } else {
    ++FPos;
    while (FPos <= Size) {
      const unsigned char B = At(FPos);
      // A name ends the token before it: "TJ/F55" is an operator and a name.
      if (IsPDFWhite(B) || B == '(' || B == '<' || B == '[' || B == ']' || B == '/') break;
      ++FPos;
    }
  }
  const int64_t End = std::min<int64_t>(FPos - 1, Size);
  return std::string(FContent.substr(static_cast<size_t>(Start - 1), static_cast<size_t>(End - Start + 1)));
}

void TPDFExtractor::PushOperand(std::string Token) {
  FWindow[FWindowHead] = std::move(Token);
  FWindowHead = (FWindowHead + 1) % 6;
}

double TPDFExtractor::Number(int N) const { return StrToNumber(Operand(N)); }

// ---------------------------------------------------------------- text

bool TPDFExtractor::Composite() const { return FFont && FFont->IsComposite; }

double TPDFExtractor::TextWidth(std::string_view Bytes) const {
  double Sum = 0;
  if (Composite()) {
    // As the interpreter advances: CID widths and character spacing, no
    // word spacing.
    uint32_t Code;
    for (size_t Pos = 0; FFont->NextCode(Bytes, Pos, Code);)
      Sum += GetCIDWidth(FFont->CIDWidths.get(), FFont->CIDOf(Code)) + FCharSpacing;
    return Sum * FFontSize * FScale / 1000;
  }
  for (unsigned char C : Bytes) Sum += (*FWidths)[C] + FCharSpacing + (C == FSpaceCode ? FWordSpacing : 0);
  return Sum * FFontSize * FScale / 1000;
}

std::string TPDFExtractor::MapText(std::string_view Bytes, const std::vector<size_t>& Spaces) const {
  // An inserted word break shows as a space even in a font whose space code
  // has another text (a font without a space glyph, whose own encoding names
  // code 32 ".notdef"): the code only stands for the break.
  std::string Text;
  auto Next = Spaces.begin();
  if (Composite()) {
    // Each run between two breaks is split into codes on its own.
    std::u32string Chars;
    size_t Start = 0;
    for (;;) {
      const size_t End = Next != Spaces.end() ? std::min(*Next, Bytes.size()) : Bytes.size();
      const std::string_view Run = Bytes.substr(Start, End - Start);
      uint32_t Code;
      for (size_t Pos = 0; FFont->NextCode(Run, Pos, Code);) {
        Chars.clear();
        if (FFont->CodeUnicode(Code, Chars)) Text += UnicodeToText(Chars, FCodePage);
      }
      if (Next == Spaces.end()) break;
      Text += ' ';
      ++Next;
      Start = End;
    }
    return Text;
  }
  for (size_t I = 0; I < Bytes.size(); ++I) {
    if (Next != Spaces.end() && *Next == I) {
      Text += ' ';
      ++Next;
    } else {
      Text += (*FCodeTexts)[static_cast<unsigned char>(Bytes[I])];
    }
  }
  return Text;
}

bool TPDFExtractor::EndsWithLineBreak() const {
  return FOut.size() >= 2 && FOut[FOut.size() - 2] == '\r' && FOut.back() == '\n';
}

void TPDFExtractor::AppendRow(double X, double Y, std::string_view Bytes, const std::vector<size_t>& Spaces) {
  std::string Text;
  for (char C : MapText(Bytes, Spaces)) {
    if (C == '\\') Text += "\\\\";
    else if (C == '"') Text += "\\\"";
    else Text += C;
  }
  FOut += FormatNumber(0, 2, X) + "," + FormatNumber(0, 2, Y) + "," + FFillColorText + "," +
          FormatNumber(0, 2, FFontSize) + ",\"" + FBaseFontName + "\",\"" + Text + "\"" + LineBreak;
}

// The colour text holds blue in its high byte and red in its low byte.
void TPDFExtractor::SetColour(double R, double G, double B) {
  auto Byte = [](double V) { return static_cast<int64_t>(std::nearbyint(255 * V)); };
  const int64_t Value = Byte(B) * 65536 + Byte(G) * 256 + Byte(R);
  char Buf[32];
  if (Value < 0)
    std::snprintf(Buf, sizeof Buf, "#%08X", static_cast<uint32_t>(Value));
  else
    std::snprintf(Buf, sizeof Buf, "#%06llX", static_cast<unsigned long long>(Value));
  FFillColorText = Buf;
}

void TPDFExtractor::SelectSpace() {
  // Once per font and walk: pdfTeX pages select fonts thousands of times.
  if (auto It = FSpaceCache.find(FCodeTexts); It != FSpaceCache.end()) {
    FSpaceCode = It->second.first;
    FSpaceWidth = It->second.second;
    return;
  }
  const TPDFCodeTexts& T = *FCodeTexts;
  FSpaceCode = 32;
  if (T[32] != " ") {
    for (int C = 0; C < 256; ++C)
      if (T[C] == " ") {
        FSpaceCode = C;
        break;
      }
  }
  const double W = Composite() ? GetCIDWidth(FFont->CIDWidths.get(), FFont->CIDOf(static_cast<uint32_t>(FSpaceCode)))
                               : (*FWidths)[FSpaceCode];
  FSpaceWidth = T[FSpaceCode] == " " && W != DefaultGlyphWidth ? W : 280;
  FSpaceCache.emplace(FCodeTexts, std::make_pair(FSpaceCode, FSpaceWidth));
}

void TPDFExtractor::OnTextMatrix() {
  TMatrix M;
  for (int I = 0; I < 6; ++I) M[I] = Number(6 - I);
  M = MultiplyMatrix(M, FCTM);
  // The product goes back into the operands cut to whole numbers.
  for (int I = 0; I < 6; ++I) OperandRef(6 - I) = FormatNumber(0, 0, M[I]);
  if (Operand(5) == "0" && Operand(4) == "0" && Operand(3) == Operand(6))
    FScale = IsNumberText(Operand(6)) ? StrToNumber(Operand(6)) : 1;
  const double NewX = M[4], NewY = M[5];
  if (FMode == 0 && !EndsWithLineBreak() && std::fabs(NewX - FX) >= (FSpaceWidth / 2) * FScale * FFontSize / 1000)
    FOut += ' ';
  FX = NewX;
  if (FMode == 0 && !EndsWithLineBreak()) {
    const double Jump = std::fabs(NewY - FY);
    if (Jump >= 1.7 * FFontSize * FScale / 2) FOut += LineBreak;
    if (Jump >= 1.7 * FFontSize * FScale) FOut += LineBreak;
  }
  FY = NewY;
  FLineX = FX;
  FLineY = FY;
}

void TPDFExtractor::OnTextMove(bool TD) {
  const double Tx = Number(2), Ty = Number(1);
  FX = Tx * FScale + FLineX;
  if (TD) {
    FLeading = IsNumberText(Operand(1)) ? -Ty * FScale : 0;
    FY = FLineY - FLeading;
  } else {
    FY = Ty * FScale + FLineY;
  }
  FLineX = FX;
  FLineY = FY;
  if (FMode != 0 || EndsWithLineBreak()) return;
  const bool Space = TD ? (FX - FPrevX) >= TextWidth(std::string(1, static_cast<char>(FSpaceCode)))
                        : std::fabs(FX - FPrevX) >= (FSpaceWidth / 2) * FScale * FFontSize / 1000;
  if (Space) FOut += ' ';
  if (std::fabs(FY - FPrevY) >= 1.7 * FFontSize * FScale / 2) FOut += LineBreak;
  // Signed: only an upward jump of this size adds the blank line.
  if (FY - FPrevY >= 1.7 * FFontSize * FScale) FOut += LineBreak;
}

// ---------------------------------------------------------------- fonts

TPDFIndRef* TPDFExtractor::FontRefOf(const std::string& Name) const {
  return FFontResources ? As<TPDFIndRef>(FFontResources->GetValue(Name, false)) : nullptr;
}

std::string TPDFExtractor::BaseFontNameOf(const std::string& Name) {
  for (const auto& [Key, Value] : FBaseFonts)
    if (SameTextIgnoringCase(Key, Name)) return Value;
  std::string Result;
  if (FResources)
    if (auto* Fonts = As<TPDFDictionary>(FResources->GetValue("Font", true)))
      if (auto* Font = As<TPDFDictionary>(Fonts->GetValue(Name, true)))
        if (const auto* Base = As<TPDFName>(Font->GetValue("BaseFont", true))) Result = Base->Value();
  FBaseFonts.emplace_back(Name, Result);
  return Result;
}

// ---------------------------------------------------------------- the walk

std::string TPDFExtractor::Extract(std::string_view Content, int Mode) { return Extract(Content, {}, Mode); }

std::string TPDFExtractor::Extract(const std::vector<const TPDFStream*>& Streams, int Mode) {
  return Extract({}, Streams, Mode);
}

void TPDFExtractor::AttachBudget(TPDFPageBudget* Budget) {
  if (!Budget) return;
  FOwnBudget.reset();
  FBudget = Budget;
}

std::string TPDFExtractor::Extract(std::string_view Content, const std::vector<const TPDFStream*>& Streams, int Mode) {
  if (Mode != 0 && Mode != 2) return {};
  FMode = Mode;
  FMode = Mode;
  FFontResources = FResources ? As<TPDFDictionary>(FResources->GetValue("Font", true)) : nullptr;
  FOut.clear();
  GetEncodingGlyphNames(TPDFBaseEncoding::encStandard, FDefaultGlyphNames);
  GlyphNamesToTexts(FDefaultGlyphNames, FDefaultTexts, FCodePage);
  FDefaultWidths.fill(DefaultGlyphWidth);
  FFillColorText = "#000000";
  FFontSize = 12;
  FScale = 1;
  FCharSpacing = FWordSpacing = FLeading = 0;
  FX = FY = FLineX = FLineY = FPrevX = FPrevY = FArrayStartX = 0;
  FWidths = &FDefaultWidths;
  FCodeTexts = &FDefaultTexts;
  FFont = nullptr;
  FSpaceCache.clear();
  FSpaceCode = 32;
  FSpaceWidth = 280;
  FCTM = FSavedCTM = {1, 0, 0, 1, 0, 0};
  FWindow.fill(std::string());
  FWindowHead = 0;
  FCurrentString.clear();
  FArrayText.clear();
  FArraySpaces.clear();
  FBaseFontName.clear();
  FActiveForms.clear();
  FFormDepth = 0;
  Walk(Content, Streams);
  FJoined.clear();
  return CleanUp(std::move(FOut));
}

void TPDFExtractor::Walk(std::string_view Content, const std::vector<const TPDFStream*>& Streams) {
  std::vector<const TPDFStream*> SavedStreams = std::move(FStreams);
  const size_t SavedNextStream = FNextStream;
  const std::string_view SavedContent = FContent;
  const int64_t SavedPos = FPos;
  FStreams = Streams;
  FNextStream = 0;
  FContent = Content;
  FPos = 1;
  for (std::string Token = NextToken(); !Token.empty() && !FBudget->Exhausted(); Token = NextToken()) {
    if (Token[0] == '(') FCurrentString = UnescapeLiteralString(Token);
    else if (Token[0] == '<') FCurrentString = HexStringToBytes(Token);

    if (Token == "[") {
      FArrayStartX = FX;
      for (Token = NextToken(); !Token.empty() && Token != "]"; Token = NextToken()) {
        if (Token[0] == '(') {
          std::string S = UnescapeLiteralString(Token);
          if (Composite()) {
            // Letter-spaced text gets its breaks between codes, as marks
            // rather than bytes.
            if (FSpaceWidth * FScale * FFontSize / 1000 < FCharSpacing) {
              uint32_t Code;
              for (size_t Pos = 0, Before = 0; FFont->NextCode(S, Pos, Code); Before = Pos)
                if (Before) FArraySpaces.push_back(FArrayText.size() + Before);
            }
            FArrayText += S;
            FX += TextWidth(S);
            continue;
          }
          if (FSpaceWidth * FScale * FFontSize / 1000 < FCharSpacing && S.size() > 1) {
            std::string Spaced;
            for (size_t I = 0; I < S.size(); ++I) {
              if (I) {
                FArraySpaces.push_back(FArrayText.size() + Spaced.size());
                Spaced += static_cast<char>(FSpaceCode);
              }
              Spaced += S[I];
            }
            S = std::move(Spaced);
          }
          FArrayText += S;
          FX += TextWidth(S);
        } else if (Token[0] == '<') {
          FArrayText += HexStringToBytes(Token);
        } else if (IsNumberText(Token)) {
          const double N = StrToNumber(Token);
          FX += -N * FScale * FFontSize / 1000;
          if (-N > FSpaceWidth / 2) {
            FArraySpaces.push_back(FArrayText.size());
            if (!Composite()) FArrayText += static_cast<char>(FSpaceCode);
          }
        }
      }
    }

    // Every operator this walk knows is one or two bytes long.
    if (Token.size() <= 2 && IsOperatorStart(Token[0]) && !FBudget->Operator()) break;
    if (Token.size() <= 2) {
      if (Token == "rg") {
        SetColour(Number(3), Number(2), Number(1));
      } else if (Token == "g") {
        SetColour(Number(1), Number(1), Number(1));
      } else if (Token == "BT") {
        FLineX = FLineY = 0;
      } else if (Token == "Tf") {
        const std::string Name = Operand(2).empty() ? std::string() : Operand(2).substr(1);
        if (FMode == 2) FBaseFontName = BaseFontNameOf(Name);
        // Without a /Font dictionary the font lookup fails: the rest of this
        // operator, and its entry into the operands, are skipped.
        if (!FFontResources) continue;
        if (const TPDFFontCollectionData* Font = FFonts.SelectFont(FontRefOf(Name))) {
          FWidths = &Font->Widths;
          FCodeTexts = &Font->CodeTexts;
          FFont = Font;
        }
        FFontSize = IsNumberText(Operand(1)) ? StrToNumber(Operand(1)) : 12;
        SelectSpace();
      } else if (Token == "TJ") {
        if (FMode == 0) FOut += MapText(FArrayText, FArraySpaces);
        else AppendRow(FArrayStartX, FY, FArrayText, FArraySpaces);
        FArrayText.clear();
        FArraySpaces.clear();
      }
      if (Token == "'" || Token == "\"") {
        if (FMode == 0 && !EndsWithLineBreak()) FOut += LineBreak;
        Token = "Tj";
      }
      if (Token == "Tj") {
        if (FMode == 0) FOut += MapText(FCurrentString);
        else AppendRow(FX, FY, FCurrentString);
        FX += TextWidth(FCurrentString);
        FCurrentString.clear();
      } else if (Token == "TL") {
        FLeading = IsNumberText(Operand(1)) ? Number(1) * FScale : 0;
      } else if (Token == "Tw") {
        FWordSpacing = IsNumberText(Operand(1)) ? Number(1) * FScale : 0;
      } else if (Token == "Tc") {
        FCharSpacing = IsNumberText(Operand(1)) ? Number(1) * FScale : 0;
      } else if (Token == "Tm") {
        OnTextMatrix();
      } else if (Token == "cm") {
        TMatrix M;
        for (int I = 0; I < 6; ++I) M[I] = Number(6 - I);
        FCTM = MultiplyMatrix(M, FCTM);
      } else if (Token == "q") {
        FSavedCTM = FCTM;
      } else if (Token == "Q") {
        FCTM = FSavedCTM;
      } else if (Token == "Td") {
        OnTextMove(false);
      } else if (Token == "TD") {
        OnTextMove(true);
      } else if (Token == "T*") {
        FX = FLineX;
        FY -= FLeading;
        if (FMode == 0) FOut += LineBreak;
        FLineY = FY;
      } else if (Token == "Do") {
        RunForm(Operand(1));
      } else if (Token == "BI" && ImageText && FMode == 0) {
        RunInlineImage();
      }
    }
    FPrevX = FX;
    FPrevY = FY;
    PushOperand(std::move(Token));
  }
  FStreams = std::move(SavedStreams);
  FNextStream = SavedNextStream;
  FContent = SavedContent;
  FPos = SavedPos;
}

void TPDFExtractor::AddImageText(const TPDFStream& Image) {
  const std::string Text = ImageText(Image, FCTM, FResources);
  if (Text.empty()) return;
  if (!FOut.empty() && !EndsWithLineBreak()) FOut += LineBreak;
  FOut += Text;
  if (!EndsWithLineBreak()) FOut += LineBreak;
}

void TPDFExtractor::RunInlineImage() {
  // The dictionary is read within this part of the content (positions here
  // count from 1): one that runs on past it is left to the walk.
  const std::string_view Content = FContent;
  const size_t DictStart = static_cast<size_t>(FPos - 1);
  size_t DictEnd = DictStart;
  TPDFInlineImageScan Scan;
  for (std::string Token = NextTokenOfPart();; Token = NextTokenOfPart()) {
    if (Token.empty() || FPos > static_cast<int64_t>(Content.size()) + 1) return;
    if (!Scan.Take(Token)) break;
    DictEnd = static_cast<size_t>(FPos - 1);
  }
  const size_t DataStart = std::min(static_cast<size_t>(FPos), Content.size());  // one white-space byte after ID
  const TPDFInlineImageScan::TEnd End = Scan.Find(Content, DataStart, FBudget);
  FPos = static_cast<int64_t>(End.End) + 1;
  if (!FInlineImages) FInlineImages = std::make_unique<TPDFStructure>();
  if (TPDFStream* Image = InlineImageStream(*FInlineImages, Content.substr(DictStart, DictEnd - DictStart),
                                            Content.substr(DataStart, End.DataEnd - DataStart)))
    AddImageText(*Image);
}

void TPDFExtractor::RunForm(const std::string& Name) {
  if (!FResources || Name.size() < 2 || Name[0] != '/') return;
  auto* XObjects = As<TPDFDictionary>(FResources->GetValue("XObject", true));
  auto* Form = XObjects ? As<TPDFStream>(XObjects->GetValue(std::string_view(Name).substr(1), true)) : nullptr;
  if (!Form) return;
  TPDFDictionary* Dict = Form->Dictionary();
  const auto* Subtype = As<TPDFName>(Dict->GetValue("Subtype", true));
  if (Subtype && Subtype->Value() == "Image" && ImageText && FMode == 0) AddImageText(*Form);
  if (!Subtype || Subtype->Value() != "Form") return;  // images and others hold no text
  // A form that invokes itself, directly or through others, is not read
  // again; nesting stops at a limit, and the page's budget stops forms that
  // each invoke the next many times. A form's content is decoded once per
  // page.
  if (FFormDepth >= MaxFormDepth || FBudget->Exhausted() || !FActiveForms.insert(Form).second) return;

  // What the form changes of the graphics and text state is its own: the
  // state at the Do comes back after it. The position stays where its text
  // ended, so what follows is set apart from it as from any text.
  TPDFDictionary* const SavedResources = FResources;
  TPDFDictionary* const SavedFontResources = FFontResources;
  const TMatrix SavedCTM = FCTM, SavedSavedCTM = FSavedCTM;
  const TPDFGlyphWidths* const SavedWidths = FWidths;
  const TPDFCodeTexts* const SavedTexts = FCodeTexts;
  const TPDFFontCollectionData* const SavedFont = FFont;
  const double SavedSize = FFontSize, SavedScale = FScale, SavedCharSpacing = FCharSpacing,
               SavedWordSpacing = FWordSpacing, SavedLeading = FLeading, SavedSpaceWidth = FSpaceWidth;
  const int SavedSpaceCode = FSpaceCode;
  const std::string SavedBaseFontName = FBaseFontName;
  std::vector<std::pair<std::string, std::string>> SavedBaseFonts = std::move(FBaseFonts);
  const std::array<std::string, 6> SavedWindow = FWindow;
  const int SavedWindowHead = FWindowHead;

  if (auto* Matrix = As<TPDFArray>(Dict->GetValue("Matrix", true)); Matrix && Matrix->Count() == 6) {
    TMatrix M;
    bool Numbers = true;
    for (int I = 0; I < 6; ++I) {
      const auto* N = As<TPDFNumeric>(Matrix->GetItem(I));
      Numbers = Numbers && N;
      M[I] = N ? N->Value() : 0;
    }
    if (Numbers) FCTM = MultiplyMatrix(M, FCTM);
  }
  FSavedCTM = FCTM;
  // A form without resources of its own uses those in force at the Do.
  if (auto* Own = As<TPDFDictionary>(Dict->GetValue("Resources", true))) {
    FResources = Own;
    FFontResources = As<TPDFDictionary>(Own->GetValue("Font", true));
  }
  FBaseFonts.clear();
  FWindow.fill(std::string());
  FWindowHead = 0;
  ++FFormDepth;
  Walk({}, {Form});
  --FFormDepth;
  FActiveForms.erase(Form);

  FResources = SavedResources;
  FFontResources = SavedFontResources;
  FCTM = SavedCTM;
  FSavedCTM = SavedSavedCTM;
  FWidths = SavedWidths;
  FCodeTexts = SavedTexts;
  FFont = SavedFont;
  FFontSize = SavedSize;
  FScale = SavedScale;
  FCharSpacing = SavedCharSpacing;
  FWordSpacing = SavedWordSpacing;
  FLeading = SavedLeading;
  FSpaceWidth = SavedSpaceWidth;
  FSpaceCode = SavedSpaceCode;
  FBaseFontName = SavedBaseFontName;
  FBaseFonts = std::move(SavedBaseFonts);
  FWindow = SavedWindow;
  FWindowHead = SavedWindowHead;
  FCurrentString.clear();
  FArrayText.clear();
  FArraySpaces.clear();
}

std::string TPDFExtractor::CleanUp(std::string Text) {
  // A line holding one space goes: each "CR LF space CR LF" loses its first
  // CR LF and space. Deleting the first such place never makes one earlier,
  // so one pass that checks the tail does it.
  std::string A;
  A.reserve(Text.size());
  for (char C : Text) {
    A += C;
    if (A.size() >= 5 && A.compare(A.size() - 5, 5, "\r\n \r\n") == 0) A.erase(A.size() - 5, 3);
  }
  // At most one empty line in a row.
  std::string B;
  B.reserve(A.size());
  for (char C : A) {
    B += C;
    if (B.size() >= 6 && B.compare(B.size() - 6, 6, "\r\n\r\n\r\n") == 0) B.erase(B.size() - 2);
  }
  for (char& C : B)
    if (C == '\0') C = ' ';
  size_t First = 0, Last = B.size();
  while (First < Last && static_cast<unsigned char>(B[First]) <= 0x20) ++First;
  while (Last > First && static_cast<unsigned char>(B[Last - 1]) <= 0x20) --Last;
  return B.substr(First, Last - First);
}
