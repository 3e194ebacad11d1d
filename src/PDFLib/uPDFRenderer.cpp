// The content interpreter in text mode.
#include "uPDFRenderer.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cmath>
#include <deque>
#include <cstdio>

#include "CodePage.h"
#include "uPDFBudget.h"
#include "uPDFExtra.h"
#include "uPDFFontCollection.h"
#include "uPDFImage.h"
#include "uPDFStructure.h"
#include "uPDFTextFunnel.h"

namespace {

using TMatrix = TPDFRenderer::TMatrix;
constexpr TMatrix Identity{1, 0, 0, 1, 0, 0};


// Font names kept in the graphics state are cut to this length.
constexpr size_t MaxFontName = 50;

TPDFObject* Resolved(TPDFObject* Obj) {
  auto* Ref = As<TPDFIndRef>(Obj);
  return Ref ? Ref->Resolve() : Obj;
}

// Exactly four numbers, or null.
const TPDFArray* FourNumbers(TPDFObject* Obj) {
  auto* A = As<TPDFArray>(Resolved(Obj));
  if (!A || A->Count() != 4) return nullptr;
  for (int I = 0; I < 4; ++I)
    if (!As<TPDFNumeric>(A->GetItem(I))) return nullptr;
  return A;
}

uint8_t ColourByte(double V) {
  const double B = std::nearbyint(V * 255);  // halves to the even neighbour
  return static_cast<uint8_t>(std::clamp(std::isnan(B) ? 0.0 : B, 0.0, 255.0));
}

}  // namespace

// The text-relevant graphics state; Tm and Tlm are part of it, so Q restores them.
struct TPDFRenderer::TGraphicsState {
  TMatrix SavedCTM = Identity;
  uint8_t Red = 0, Green = 0, Blue = 0;
  std::string FillSpace = "DeviceGray";
  TMatrix Tm = Identity, Tlm = Identity;
  double Th = 100, Tfs = 12;
  std::string FontName;
  double TL = 0, Tc = 0, Tw = 0, Ts = 0;
  int Tr = 0;
};

// One interpretation: its content, resources, state, state stack and operands.
// The content is the page budget's: its streams are decoded once per page.
struct TPDFRenderer::TRun {
  // The streams read one after another, each fetched when the one before
  // has ended, and the content of the one being read.
  std::vector<const TPDFStream*> Streams;
  size_t Next = 0;
  std::string_view Content;
  // Contents made of a string a stream left open and the stream after it.
  std::deque<std::string> Joined;
  size_t Pos = 0;
  TPDFDictionary* Resources = nullptr;
  TGraphicsState State;
  std::vector<TGraphicsState> Stack;
  // Tokens of Content, which stays unchanged while the run lasts.
  std::vector<std::string_view> Operands;
  size_t ArrayCount = 0;

  void Push(std::string_view Token) {
    Operands.push_back(Token);
    // Operands no operator takes pile up below later ones: drop the oldest.
    if (Operands.size() > 2 * MaxOperands) Operands.erase(Operands.begin(), Operands.begin() + MaxOperands);
  }
};

TPDFRenderer::TPDFRenderer(TPDFFontCollection& Collection, const TCodePage& CodePage)
    : FCollection(Collection), FCodePage(CodePage), FOwnFunnel(std::make_unique<TPDFTextFunnel>()),
      FFunnel(FOwnFunnel.get()), FOwnBudget(std::make_unique<TPDFPageBudget>()), FBudget(FOwnBudget.get()) {}

TPDFRenderer::~TPDFRenderer() = default;

void TPDFRenderer::AttachFunnel(TPDFTextFunnel* Funnel) {
  if (!Funnel) return;
  FOwnFunnel.reset();
  FFunnel = Funnel;
}

void TPDFRenderer::AttachBudget(TPDFPageBudget* Budget) {
  if (!Budget) return;
  FOwnBudget.reset();
  FBudget = Budget;
}

void TPDFRenderer::RenderPage() {
  FFunnel->Clear();
  FCTM = Identity;
  if (Page) Interpret(Page);
}

// ---------------------------------------------------------------- interpretation

void TPDFRenderer::Interpret(TPDFObject* Object) {
  TRun R;
  auto* PageDict = As<TPDFDictionary>(Object);
  auto* Form = As<TPDFStream>(Object);
  if (PageDict) {
    // The page's resources, looked up through Parent when it has none.
    TPDFDictionary* Node = PageDict;
    for (int Step = 0; Node && Step < 256; ++Step) {
      if (TPDFObject* Res = Node->GetValue("Resources", true)) {
        R.Resources = As<TPDFDictionary>(Res);
        break;
      }
      Node = As<TPDFDictionary>(Node->GetValue("Parent", true));
    }
    TPDFObject* Contents = PageDict->GetValue("Contents", true);
    if (auto* S = As<TPDFStream>(Contents)) {
      R.Streams.push_back(S);
    } else if (auto* A = As<TPDFArray>(Contents)) {
      for (TPDFObject* Item : A->Items())
        if (auto* S = As<TPDFStream>(Resolved(Item))) R.Streams.push_back(S);
    }
  } else if (Form) {
    TPDFDictionary* Dict = Form->Dictionary();
    if (TPDFObject* Res = Dict->GetValue("Resources", true))
      R.Resources = As<TPDFDictionary>(Res);
    else if (Dict->GetTypeName() == "XObject")
      R.Resources = FCallerResources;
    R.Streams.push_back(Form);
  } else {
    return;
  }
  R.State.SavedCTM = FCTM;
  R.Stack.push_back(R.State);
  for (std::string_view Token = NextToken(R); !Token.empty() && !FBudget->Exhausted(); Token = NextToken(R))
    Dispatch(R, Token);
  if (PageDict && !FBudget->Exhausted()) AnnotationPass();
}

std::string_view TPDFRenderer::NextToken(TRun& R) {
  // The streams are read one after another; a stream past the page's budget
  // ends the content.
  for (;;) {
    for (;;) {
      while (R.Pos < R.Content.size() && IsPDFWhite(static_cast<unsigned char>(R.Content[R.Pos]))) ++R.Pos;
      if (R.Pos < R.Content.size() || R.Next >= R.Streams.size()) break;
      const std::string* Content = FBudget->Content(*R.Streams[R.Next++]);
      if (!Content) return {};
      R.Content = *Content;
      R.Pos = 0;
    }
    const std::string_view C = R.Content;
    const size_t Size = C.size();
    if (R.Pos >= Size) return {};
    const size_t Start = R.Pos;
    const char First = C[R.Pos];
    if (R.Pos + 1 == Size) {
      ++R.Pos;
    } else if (First == '(') {
      R.Pos = LiteralStringEnd(C, R.Pos);
    } else if (First == '<') {
      const size_t Close = C.find('>', R.Pos);
      R.Pos = Close == std::string_view::npos ? Size : Close + 1;
    } else if (First == '[' || First == ']' || First == '\'') {
      ++R.Pos;
    } else {
      ++R.Pos;
      while (R.Pos < Size) {
        const unsigned char B = static_cast<unsigned char>(C[R.Pos]);
        if (IsPDFWhite(B) || B == '(' || B == '/' || B == '<' || B == '[' || B == ']') break;
        ++R.Pos;
      }
    }
    const std::string_view Token = C.substr(Start, R.Pos - Start);
    // A string that a stream leaves open goes on in the next one (files split
    // their content anywhere, and other readers join the parts with a space):
    // the rest of the token and the next stream are read as one.
    if (R.Pos < Size || R.Next >= R.Streams.size() || !StringTokenUnclosed(Token)) return Token;
    const std::string* Next = FBudget->Content(*R.Streams[R.Next]);
    if (!Next || !FBudget->Hold(Token.size() + 1 + Next->size())) return Token;
    ++R.Next;
    std::string& Joined = R.Joined.emplace_back();
    Joined.reserve(Token.size() + 1 + Next->size());
    Joined.append(Token);
    Joined += ' ';
    Joined += *Next;
    R.Content = Joined;
    R.Pos = 0;
  }
}

const std::unordered_map<std::string_view, TPDFRenderer::THandler>& TPDFRenderer::Operators() {
  static const std::unordered_map<std::string_view, THandler> Table = {
      {"q", &TPDFRenderer::OpSave},          {"Q", &TPDFRenderer::OpRestore},
      {"cm", &TPDFRenderer::OpConcat},       {"gs", &TPDFRenderer::OpExtGState},
      {"Do", &TPDFRenderer::OpDo},           {"BT", &TPDFRenderer::OpBeginText},
      {"Tf", &TPDFRenderer::OpFont},         {"Tm", &TPDFRenderer::OpTextMatrix},
      {"Td", &TPDFRenderer::OpMove},         {"TD", &TPDFRenderer::OpMoveLeading},
      {"T*", &TPDFRenderer::OpNextLine},     {"Tz", &TPDFRenderer::OpScaling},
      {"Ts", &TPDFRenderer::OpRise},         {"Tc", &TPDFRenderer::OpCharSpacing},
      {"Tw", &TPDFRenderer::OpWordSpacing},  {"TL", &TPDFRenderer::OpLeading},
      {"Tr", &TPDFRenderer::OpRenderMode},   {"[", &TPDFRenderer::OpArray},
      {"TJ", &TPDFRenderer::OpShowArray},    {"Tj", &TPDFRenderer::OpShow},
      {"'", &TPDFRenderer::OpQuote},         {"BI", &TPDFRenderer::OpInlineImage},
      {"rg", &TPDFRenderer::OpFillRGB},      {"g", &TPDFRenderer::OpFillGray},
      {"k", &TPDFRenderer::OpFillCMYK},      {"sc", &TPDFRenderer::OpFillColor},
      {"scn", &TPDFRenderer::OpFillColor},   {"cs", &TPDFRenderer::OpFillSpace},
      {"RG", &TPDFRenderer::OpStrokeRGB},    {"G", &TPDFRenderer::OpStrokeGray},
      {"K", &TPDFRenderer::OpStrokeCMYK},    {"SC", &TPDFRenderer::OpNothing},
      {"SCN", &TPDFRenderer::OpNothing},     {"CS", &TPDFRenderer::OpStrokeSpace},
      // Painting, clipping and line style: no effect on text.
      {"m", &TPDFRenderer::OpNothing},       {"l", &TPDFRenderer::OpNothing},
      {"c", &TPDFRenderer::OpNothing},       {"v", &TPDFRenderer::OpNothing},
      {"y", &TPDFRenderer::OpNothing},       {"h", &TPDFRenderer::OpNothing},
      {"re", &TPDFRenderer::OpNothing},      {"S", &TPDFRenderer::OpNothing},
      {"s", &TPDFRenderer::OpNothing},       {"f", &TPDFRenderer::OpNothing},
      {"F", &TPDFRenderer::OpNothing},       {"f*", &TPDFRenderer::OpNothing},
      {"B", &TPDFRenderer::OpNothing},       {"B*", &TPDFRenderer::OpNothing},
      {"b", &TPDFRenderer::OpNothing},       {"b*", &TPDFRenderer::OpNothing},
      {"n", &TPDFRenderer::OpNothing},       {"W", &TPDFRenderer::OpNothing},
      {"W*", &TPDFRenderer::OpNothing},      {"w", &TPDFRenderer::OpNothing},
      {"d", &TPDFRenderer::OpNothing},       {"J", &TPDFRenderer::OpNothing},
      {"j", &TPDFRenderer::OpNothing},       {"sh", &TPDFRenderer::OpNothing},
  };
  // Dispatch looks up only tokens of this shape.
  [[maybe_unused]] static const bool Shaped = std::all_of(Table.begin(), Table.end(), [](const auto& Entry) {
    const std::string_view Name = Entry.first;
    return !Name.empty() && Name.size() <= 3 && (std::isalpha(static_cast<unsigned char>(Name[0])) ||
                                                 Name[0] == '\'' || Name[0] == '[');
  });
  assert(Shaped);
  return Table;
}

void TPDFRenderer::Dispatch(TRun& R, std::string_view Token) {
  // Every operator of the table is one to three bytes and begins with a
  // letter, "'" or "[": numbers, names and strings are operands without a
  // look-up (most tokens of a page are).
  const char First = Token.empty() ? '\0' : Token[0];
  if (Token.size() > 3 ||
      !((First >= 'A' && First <= 'Z') || (First >= 'a' && First <= 'z') || First == '\'' || First == '[')) {
    R.Push(Token);
    return;
  }
  const auto& Table = Operators();
  auto It = Table.find(Token);
  if (It == Table.end()) {
    R.Push(Token);
    return;
  }
  if (FBudget->Operator()) (this->*It->second)(R);
}

double TPDFRenderer::TakeNumber(TRun& R) {
  if (R.Operands.empty()) return 0;
  const double V = StrToNumber(R.Operands.back());
  R.Operands.pop_back();
  return V;
}

std::string TPDFRenderer::TakeText(TRun& R) {
  if (R.Operands.empty()) return {};
  std::string V(R.Operands.back());
  R.Operands.pop_back();
  return V;
}

// ---------------------------------------------------------------- fonts and text

void TPDFRenderer::SelectStateFont(TRun& R) {
  const std::string& Name = R.State.FontName;
  if (Name.size() >= 2 && Name.compare(Name.size() - 2, 2, " R") == 0) {
    // "N G R", as a gs font gives it.
    auto Cached = FFontRefs.find(Name);
    TPDFIndRef* Ref = Cached != FFontRefs.end() ? Cached->second : nullptr;
    if (Cached == FFontRefs.end() && Page) {
      TPDFStructure S;
      if (auto* Parsed = As<TPDFIndRef>(S.ParseObject(Name)))
        Ref = Page->Structure()->NewIndRef(Parsed->Number, Parsed->Generation);
      FFontRefs.emplace(Name, Ref);
    }
    if (Ref) FCollection.SelectFont(Ref);
    return;
  }
  if (!R.Resources || Name.empty() || Name[0] != '/') return;
  if (auto* Fonts = As<TPDFDictionary>(R.Resources->GetValue("Font", true)))
    if (auto* Ref = As<TPDFIndRef>(Fonts->GetValue(std::string_view(Name).substr(1), false))) FCollection.SelectFont(Ref);
}

void TPDFRenderer::AddWord(TRun& R, const TGlyphUnits& U, const std::string& Text, double E, double D, bool Vertical) {
  if (!FBudget->Word()) return;
  const TPDFFontCollectionData& Font = FCollection.Current();
  static constexpr char Hex[] = "0123456789ABCDEF";
  const char Color[7] = {'#',
                         Hex[R.State.Red >> 4 & 0xF],   Hex[R.State.Red & 0xF],
                         Hex[R.State.Green >> 4 & 0xF], Hex[R.State.Green & 0xF],
                         Hex[R.State.Blue >> 4 & 0xF],  Hex[R.State.Blue & 0xF]};
  // Words kept for the reading layout's data carry the document's font name;
  // rows show the name of the font that stands in for it.
  const std::string_view Name = FFunnel->KeepWords && !Font.BaseFont.empty() ? Font.BaseFont : Font.FontName;
  if (Vertical) {
    // Its own x runs down the page (glyph space's -y), its y to the right:
    // the glyphs stand centred on the line through the vertical origins.
    FFunnel->AddFragment(MultiplyMatrix({0, -1, 1, 0, 0, 0}, U.G), Text, std::string_view(Color, sizeof Color), Name,
                         U.Size, E, -500, D - E, 1000);
    return;
  }
  // A font whose descriptor gives no ascent and descent: its FontBBox goes
  // with kept words, for their boxes on the page.
  const bool Flat = Font.Ascent == Font.Descent;
  FFunnel->AddFragment(U.G, Text, std::string_view(Color, sizeof Color), Name, U.Size, E,
                       Font.Descent + R.State.Ts * U.PerTextUnitY / std::fabs(R.State.Tfs), D - E, Font.Ascent - Font.Descent,
                       Flat ? Font.BoxTop / 1000 : 0, Flat ? Font.BoxBottom / 1000 : 0);
}

void TPDFRenderer::Show(TRun& R, size_t Count) {
  Count = std::min(Count, R.Operands.size());
  SelectStateFont(R);
  TGraphicsState& S = R.State;
  if (S.Tfs == 0) return;
  const TPDFFontCollectionData& Font = FCollection.Current();
  // Glyph units: 1/1000 of text space, or a Type 3 font's glyph space, which
  // its FontMatrix maps to text space. Text-space amounts (TJ numbers,
  // spacing, rise, the advance of Tm) are converted with the matrix's scale,
  // so that a Type 3 font with matrix 0.001 places text as any other font.
  TGlyphUnits U;
  const TMatrix M = MultiplyMatrix(S.Tm, FCTM);
  const auto* Type3 = dynamic_cast<const TPDFType3Rasterizer*>(Font.Rasterizer.get());
  if (Type3) {
    const TMatrix& FM = Type3->FontMatrix;
    U.G = MultiplyMatrix({S.Tfs * S.Th / 100, 0, 0, S.Tfs, 0, 0}, MultiplyMatrix(FM, M));
    if (FM[0] != 0 && std::isfinite(1 / FM[0])) U.PerTextUnitX = 1 / std::fabs(FM[0]);
    if (FM[3] != 0 && std::isfinite(1 / FM[3])) U.PerTextUnitY = 1 / std::fabs(FM[3]);
  } else {
    U.G = MultiplyMatrix({S.Tfs * S.Th / 100 / 1000, 0, 0, S.Tfs / 1000, 0, 0}, M);
  }
  const TMatrix& G = U.G;
  U.Size = U.PerTextUnitY * std::hypot(G[2], G[3]);
  const double V = U.PerTextUnitX;
  const double WidthScale = Font.Rasterizer ? Font.Rasterizer->WidthScale() : 1.0;
  const double AbsTfs = std::fabs(S.Tfs);
  const bool WordMode = FFunnel->WordMode;
  // Vertical writing: D counts down the page, each code advancing by its
  // vertical metric (w1y, negative), a TJ number moving further down.
  const TPDFCIDVerticalMetrics* Vertical = Font.IsComposite ? Font.VerticalMetrics.get() : nullptr;
  double D = 0;
  for (size_t I = R.Operands.size() - Count; I < R.Operands.size(); ++I) {
    const std::string_view Token = R.Operands[I];
    if (Token.empty() || (Token[0] != '(' && Token[0] != '<')) {
      D += (Vertical ? 1 : -1) * StrToNumber(Token) * V / 1000;
      continue;
    }
    const std::string Bytes = Token[0] == '(' ? UnescapeLiteralString(Token) : HexStringToBytes(Token);
    double E = D;
    std::string Word, Whole;
    uint32_t Code;
    std::u32string Chars;
    std::string Converted;
    for (size_t B = 0; Font.NextCode(Bytes, B, Code) && FBudget->Glyphs(1);) {
      double K;
      std::string_view Text;
      if (Vertical) {
        K = -Vertical->W1.Width(Font.CIDOf(Code)) - S.Tc * V / AbsTfs;
        Chars.clear();
        Converted.clear();
        if (Font.CodeUnicode(Code, Chars)) Converted = UnicodeToText(Chars, FCodePage);
        Text = Converted;
      } else if (Font.IsComposite) {
        K = GetCIDWidth(Font.CIDWidths.get(), Font.CIDOf(Code)) + S.Tc * V / AbsTfs;
        Chars.clear();
        Converted.clear();
        if (Font.CodeUnicode(Code, Chars)) Converted = UnicodeToText(Chars, FCodePage);
        Text = Converted;
      } else {
        K = Font.Widths[Code] / WidthScale + S.Tc * V / AbsTfs + (Code == 32 ? S.Tw * V / AbsTfs : 0);
        Text = Font.RenderTexts[Code];
      }
      if (WordMode && Text == " " && !Word.empty()) {
        AddWord(R, U, Word, E, D, Vertical);
        Word.clear();
        FFunnel->SetMergeEnabled(false);
        E = D + K;
      } else if (WordMode) {
        Word += Text;
      } else {
        Whole += Text;
      }
      D += K;
    }
    FFunnel->SetMergeEnabled(true);
    AddWord(R, U, WordMode ? Word : Whole, E, D, Vertical);
  }
  if (Vertical)
    S.Tm = MultiplyMatrix({1, 0, 0, 1, 0, -AbsTfs * D / V}, S.Tm);
  else
    S.Tm = MultiplyMatrix({1, 0, 0, 1, AbsTfs * D * (S.Th / 100) / V, 0}, S.Tm);
}

// ---------------------------------------------------------------- colours

void TPDFRenderer::SetFill(TRun& R, const std::string& Space) {
  TGraphicsState& S = R.State;
  if (Space == "DeviceGray") {
    S.Red = S.Green = S.Blue = ColourByte(TakeNumber(R));
  } else if (Space == "DeviceRGB") {
    const double B = TakeNumber(R), G = TakeNumber(R), Red = TakeNumber(R);
    auto Clamp = [](double V) { return std::clamp(V, 0.0, 1.0); };
    S.Red = ColourByte(Clamp(Red));
    S.Green = ColourByte(Clamp(G));
    S.Blue = ColourByte(Clamp(B));
  } else if (Space == "DeviceCMYK") {
    const double K = TakeNumber(R), Y = TakeNumber(R), M = TakeNumber(R), C = TakeNumber(R);
    auto Part = [&](double V) { return std::clamp(1 - std::min(K + (1 - K) * V, 1.0), 0.0, 1.0); };
    S.Red = ColourByte(Part(C));
    S.Green = ColourByte(Part(M));
    S.Blue = ColourByte(Part(Y));
  }
  // Any other space leaves the colour as it is.
}

void TPDFRenderer::OpFillRGB(TRun& R) {
  R.State.FillSpace = "DeviceRGB";
  SetFill(R, R.State.FillSpace);
}
void TPDFRenderer::OpFillGray(TRun& R) {
  R.State.FillSpace = "DeviceGray";
  SetFill(R, R.State.FillSpace);
}
void TPDFRenderer::OpFillCMYK(TRun& R) {
  R.State.FillSpace = "DeviceCMYK";
  SetFill(R, R.State.FillSpace);
}
void TPDFRenderer::OpFillColor(TRun& R) { SetFill(R, R.State.FillSpace); }

void TPDFRenderer::OpFillSpace(TRun& R) {
  const std::string Name = TakeText(R);
  std::string Space = Name.size() > 1 && Name[0] == '/' ? Name.substr(1) : Name;
  if (Space != "DeviceGray" && Space != "DeviceRGB" && Space != "DeviceCMYK" && R.Resources) {
    // A named space: ICCBased spaces stand for their alternate (or their
    // component count); other families are painting matters.
    std::string Resolved;
    if (auto* Spaces = As<TPDFDictionary>(R.Resources->GetValue("ColorSpace", true))) {
      TPDFObject* Entry = ::Resolved(Spaces->GetValue(Space, true));
      if (auto* N = As<TPDFName>(Entry)) {
        Resolved = N->Value();
      } else if (auto* A = As<TPDFArray>(Entry)) {
        auto* Family = As<TPDFName>(A->GetItem(0));
        auto* Profile = As<TPDFStream>(::Resolved(A->GetItem(1)));
        if (Family && Family->Value() == "ICCBased" && Profile) {
          if (auto* Alt = As<TPDFName>(Profile->Dictionary()->GetValue("Alternate", true))) {
            Resolved = Alt->Value();
          } else {
            const int32_t N = Profile->Dictionary()->GetInteger("N", 0);
            Resolved = N == 1 ? "DeviceGray" : N == 3 ? "DeviceRGB" : N == 4 ? "DeviceCMYK" : "";
          }
        } else if (Family) {
          Resolved = Family->Value();
        }
      }
    }
    Space = Resolved.empty() ? Space : Resolved;
  }
  R.State.FillSpace = Space;
}

void TPDFRenderer::OpStrokeRGB(TRun& R) {
  for (int I = 0; I < 3; ++I) TakeNumber(R);
}
void TPDFRenderer::OpStrokeGray(TRun& R) { TakeNumber(R); }
void TPDFRenderer::OpStrokeCMYK(TRun& R) {
  for (int I = 0; I < 4; ++I) TakeNumber(R);
}
void TPDFRenderer::OpStrokeSpace(TRun& R) { TakeText(R); }
void TPDFRenderer::OpNothing(TRun&) {}

// ---------------------------------------------------------------- state operators

void TPDFRenderer::OpSave(TRun& R) { R.Stack.push_back(R.State); }

void TPDFRenderer::OpRestore(TRun& R) {
  if (!R.Stack.empty()) {
    R.State = std::move(R.Stack.back());
    R.Stack.pop_back();
  }
  FCTM = R.State.SavedCTM;
  SelectStateFont(R);
}

void TPDFRenderer::OpConcat(TRun& R) {
  TMatrix M;
  for (int I = 5; I >= 0; --I) M[I] = TakeNumber(R);
  FCTM = MultiplyMatrix(M, FCTM);
  R.State.SavedCTM = FCTM;
}

void TPDFRenderer::OpExtGState(TRun& R) {
  const std::string Name = TakeText(R);
  if (!R.Resources || Name.size() < 2) return;
  auto* States = As<TPDFDictionary>(R.Resources->GetValue("ExtGState", true));
  auto* Entry = States ? As<TPDFDictionary>(States->GetValue(std::string_view(Name).substr(1), true)) : nullptr;
  if (!Entry) return;
  const std::string Type = Entry->GetTypeName();
  if (Entry->IndexOfKey("Type") >= 0 && Type != "ExtGState") return;
  auto* Font = As<TPDFArray>(Entry->GetValue("Font", true));
  if (Font && Font->Count() == 2) {
    auto* Ref = As<TPDFIndRef>(Font->GetItem(0));
    auto* Size = As<TPDFNumeric>(Font->GetItem(1));
    if (Ref && Size) {
      R.State.FontName = Ref->ToText().substr(0, MaxFontName);
      R.State.Tfs = Size->Value();
    }
  }
}

void TPDFRenderer::OpDo(TRun& R) {
  R.Stack.push_back(R.State);
  RunXObject(R, TakeText(R));
  if (!R.Stack.empty()) {
    R.State = std::move(R.Stack.back());
    R.Stack.pop_back();
  }
  FCTM = R.State.SavedCTM;
}

void TPDFRenderer::RunXObject(TRun& R, const std::string& Name) {
  if (!R.Resources || Name.size() < 2) return;
  auto* XObjects = As<TPDFDictionary>(R.Resources->GetValue("XObject", true));
  auto* Stream = XObjects ? As<TPDFStream>(XObjects->GetValue(std::string_view(Name).substr(1), true)) : nullptr;
  if (!Stream) return;
  auto* Subtype = As<TPDFName>(Stream->Dictionary()->GetValue("Subtype", true));
  if (Subtype && Subtype->Value() == "Image" && OnImage)
    OnImage({Stream, FCTM, R.Resources, {R.State.Red, R.State.Green, R.State.Blue}});
  if (!Subtype || Subtype->Value() != "Form") return;  // images and others: no text
  // A form that invokes itself, directly or through others, is not run again.
  if (FDepth >= MaxFormDepth || FBudget->Exhausted() || !FActiveForms.insert(Stream).second) return;
  if (auto* Matrix = As<TPDFArray>(Stream->Dictionary()->GetValue("Matrix", true)); Matrix && Matrix->Count() == 6) {
    TMatrix M;
    bool Numbers = true;
    for (int I = 0; I < 6; ++I) {
      auto* N = As<TPDFNumeric>(Matrix->GetItem(I));
      Numbers = Numbers && N;
      M[I] = N ? N->Value() : 0;
    }
    if (Numbers) FCTM = MultiplyMatrix(M, FCTM);
  }
  FCallerResources = R.Resources;
  ++FDepth;
  Interpret(Stream);
  --FDepth;
  FActiveForms.erase(Stream);
}

void TPDFRenderer::OpBeginText(TRun& R) { R.State.Tm = R.State.Tlm = Identity; }

void TPDFRenderer::OpFont(TRun& R) {
  R.State.Tfs = TakeNumber(R);
  R.State.FontName = TakeText(R).substr(0, MaxFontName);
  SelectStateFont(R);
}

void TPDFRenderer::OpTextMatrix(TRun& R) {
  TMatrix M;
  for (int I = 5; I >= 0; --I) M[I] = TakeNumber(R);
  R.State.Tm = R.State.Tlm = M;
}

void TPDFRenderer::OpMove(TRun& R) {
  const double Ty = TakeNumber(R), Tx = TakeNumber(R);
  R.State.Tlm = MultiplyMatrix({1, 0, 0, 1, Tx, Ty}, R.State.Tlm);
  R.State.Tm = R.State.Tlm;
}

void TPDFRenderer::OpMoveLeading(TRun& R) {
  const double Ty = TakeNumber(R), Tx = TakeNumber(R);
  R.State.TL = -Ty;
  R.State.Tlm = MultiplyMatrix({1, 0, 0, 1, Tx, Ty}, R.State.Tlm);
  R.State.Tm = R.State.Tlm;
}

void TPDFRenderer::OpNextLine(TRun& R) {
  R.State.Tlm = MultiplyMatrix({1, 0, 0, 1, 0, -R.State.TL}, R.State.Tlm);
  R.State.Tm = R.State.Tlm;
}

void TPDFRenderer::OpScaling(TRun& R) { R.State.Th = TakeNumber(R); }
void TPDFRenderer::OpRise(TRun& R) { R.State.Ts = TakeNumber(R); }
void TPDFRenderer::OpCharSpacing(TRun& R) { R.State.Tc = TakeNumber(R); }
void TPDFRenderer::OpWordSpacing(TRun& R) { R.State.Tw = TakeNumber(R); }
void TPDFRenderer::OpLeading(TRun& R) { R.State.TL = TakeNumber(R); }

void TPDFRenderer::OpRenderMode(TRun& R) {
  const double V = std::nearbyint(TakeNumber(R));
  R.State.Tr = static_cast<int>(std::clamp(V, -1e9, 1e9));
}

void TPDFRenderer::OpArray(TRun& R) {
  size_t Count = 0;
  for (std::string_view Token = NextToken(R); !Token.empty() && Token != "]"; Token = NextToken(R)) {
    R.Push(Token);
    ++Count;
  }
  R.ArrayCount = Count;
}

void TPDFRenderer::OpShowArray(TRun& R) {
  if (R.ArrayCount > 0) Show(R, R.ArrayCount);
  R.ArrayCount = 0;
}

void TPDFRenderer::OpShow(TRun& R) {
  R.ArrayCount = 1;
  Show(R, 1);
  R.ArrayCount = 0;
}

void TPDFRenderer::OpQuote(TRun& R) {
  OpNextLine(R);
  OpShow(R);
}

// ---------------------------------------------------------------- inline images

void TPDFRenderer::OpInlineImage(TRun& R) {
  const size_t DictStart = R.Pos;
  // The image dictionary, up to ID.
  TPDFInlineImageScan Scan;
  size_t DictEnd = R.Pos;
  for (std::string_view Token = NextToken(R); !Token.empty() && Scan.Take(Token); Token = NextToken(R)) DictEnd = R.Pos;
  const std::string_view C = R.Content;
  const size_t DataStart = std::min(R.Pos + 1, C.size());  // one white-space byte after ID
  const TPDFInlineImageScan::TEnd End = Scan.Find(C, DataStart, FBudget);
  R.Pos = End.End;
  if (!OnImage || DictEnd < DictStart) return;
  if (!FInlineImages) FInlineImages = std::make_unique<TPDFStructure>();
  if (TPDFStream* Image = InlineImageStream(*FInlineImages, C.substr(DictStart, DictEnd - DictStart),
                                            C.substr(DataStart, End.DataEnd - DataStart)))
    OnImage({Image, FCTM, R.Resources, {R.State.Red, R.State.Green, R.State.Blue}});
}

// ---------------------------------------------------------------- annotations

void TPDFRenderer::AnnotationPass() {
  if (!Page) return;
  auto* Annots = As<TPDFArray>(Page->GetValue("Annots", true));
  if (!Annots) return;
  for (TPDFObject* Item : Annots->Items()) {
    auto* Ref = As<TPDFIndRef>(Item);
    // Most annotations (links) have no appearance: such an annotation is not
    // parsed just to find that out.
    if (Ref && MayHoldKey && !MayHoldKey(Ref->Number, Ref->Generation, "AP")) continue;
    auto* Annot = Ref ? As<TPDFDictionary>(Ref->Resolve()) : nullptr;
    if (!Annot) continue;
    const int32_t Flags = Annot->GetInteger("F", 0);
    if (Flags & (2 | 32)) continue;  // hidden, no view
    const TPDFArray* Rect = FourNumbers(Annot->GetValue("Rect", true));
    auto* AP = As<TPDFDictionary>(Annot->GetValue("AP", true));
    if (!Rect || !AP) continue;
    TPDFObject* Normal = AP->GetValue("N", true);
    auto* Appearance = As<TPDFStream>(Normal);
    if (auto* States = As<TPDFDictionary>(Normal)) {
      const auto* State = As<TPDFName>(Annot->GetValue("AS", true));
      Appearance = State ? As<TPDFStream>(States->GetValue(State->Value(), true)) : nullptr;
    }
    if (!Appearance || !FourNumbers(Appearance->Dictionary()->GetValue("BBox", true))) continue;
    if (FBudget->Exhausted()) return;
    if (FDepth >= MaxFormDepth || !FActiveForms.insert(Appearance).second) continue;
    const TMatrix Saved = FCTM;
    const double X1 = As<TPDFNumeric>(Rect->GetItem(0))->Value(), Y1 = As<TPDFNumeric>(Rect->GetItem(1))->Value();
    FCTM = MultiplyMatrix({1, 0, 0, 1, X1, Y1}, FCTM);
    ++FDepth;
    Interpret(Appearance);
    --FDepth;
    FActiveForms.erase(Appearance);
    FCTM = Saved;
  }
}
