// The page-text request.
#include "uPDFPageText.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string_view>
#include <unordered_set>

#include "CodePage.h"
#include "uPDFDocument.h"
#include "uPDFExtractor.h"
#include "uPDFFontCollection.h"
#include "uPDFFontConst.h"
#include "uPDFOCR.h"
#include "uPDFPageTree.h"
#include "uPDFRenderer.h"
#include "uPDFTextFunnel.h"

namespace {

using TDraws = std::vector<TPDFRenderer::TImageDraw>;
// Images of one page read at most (a content that draws one image a
// million times reads it once, and lists this many places).
constexpr size_t MaxDraws = 4096;

// Tesseract's UTF-8 in the document's code page, as all page text is.
std::string InCodePage(const std::string& Utf8, const TCodePage& CodePage) {
  std::u32string Chars;
  for (size_t I = 0; I < Utf8.size();) {
    const auto B = static_cast<unsigned char>(Utf8[I]);
    const int Length = B < 0x80 ? 1 : (B >> 5) == 6 ? 2 : (B >> 4) == 14 ? 3 : (B >> 3) == 30 ? 4 : 0;
    if (Length == 0 || I + static_cast<size_t>(Length) > Utf8.size()) {
      ++I;  // not UTF-8: skipped
      continue;
    }
    char32_t C = Length == 1 ? B : B & (0x7F >> Length);
    for (int K = 1; K < Length; ++K) C = C << 6 | (static_cast<unsigned char>(Utf8[I + static_cast<size_t>(K)]) & 0x3F);
    Chars += C;
    I += static_cast<size_t>(Length);
  }
  return UnicodeToText(Chars, CodePage);
}

bool IsBlank(std::string_view Text) {
  return std::all_of(Text.begin(), Text.end(), [](char C) { return static_cast<unsigned char>(C) <= 0x20; });
}

bool FunnelHasText(const TPDFTextFunnel& Funnel) {
  for (const auto& B : Funnel.Blocks())
    if (!IsBlank(B.Text)) return true;
  for (const auto& W : Funnel.Words())
    if (!IsBlank(W.Text)) return true;
  return false;
}

// Whether the page's images are to be read: always, or when the page has no
// text of its own and its images cover at least a quarter of it.
bool WantsRecognition(const TPDFOCRSession& OCR, TPDFPageTree& Tree, const TDraws& Draws, bool HasText) {
  if (Draws.empty() || OCR.Mode == TPDFOCRMode::Never) return false;
  if (OCR.Mode == TPDFOCRMode::Always) return true;
  if (HasText) return false;
  const double PageArea = std::fabs(Tree.PageWidth() * Tree.PageHeight());
  double Covered = 0;
  for (const auto& D : Draws) Covered += std::fabs(D.CTM[0] * D.CTM[3] - D.CTM[1] * D.CTM[2]);
  return !(PageArea > 0) || !std::isfinite(PageArea) || Covered >= PageArea / 4;
}

// What is read as one picture: one image drawn, or the strips of a page
// picture (several upright images) composed into one, its CTM the box they
// fill together.
struct TPiece {
  TPDFMatrix CTM{};
  std::vector<const TPDFRenderer::TImageDraw*> Parts;
};

// An image XObject is known by its object; an inline one by its bytes.
std::string KeyOf(TPDFDocument& Document, const TPDFStream& Image) {
  const bool Object = Image.Structure() == Document.Structure();
  std::string Key(1, Object ? 'X' : 'I');
  Key += std::to_string(Object ? reinterpret_cast<uintptr_t>(&Image) : std::hash<std::string_view>()(Image.RawData()));
  if (!Object) Key += Image.Dictionary()->ToText();
  return Key;
}

// Whether D is drawn upright: unrotated, unmirrored, the right way up.
bool Upright(const TPDFRenderer::TImageDraw& D) {
  const TPDFMatrix& M = D.CTM;
  return M[0] > 0 && M[3] > 0 && std::fabs(M[1]) <= 1e-6 * M[0] && std::fabs(M[2]) <= 1e-6 * M[3];
}

// The pieces of Draws: a page that draws several upright images (a scan
// stored as strips, bands or tiles) has them read as one picture, so that
// no line of text is cut where one strip meets the next; other images are
// read one by one. The composed picture stands where its first strip does.
std::vector<TPiece> PiecesOf(const TDraws& Draws) {
  std::vector<TPiece> Pieces;
  const size_t Strips = static_cast<size_t>(std::count_if(Draws.begin(), Draws.end(), Upright));
  long Composed = -1;
  for (const auto& D : Draws) {
    if (Strips < 2 || !Upright(D)) {
      Pieces.push_back({D.CTM, {&D}});
      continue;
    }
    if (Composed < 0) {
      Composed = static_cast<long>(Pieces.size());
      Pieces.push_back({D.CTM, {}});
    }
    TPiece& P = Pieces[static_cast<size_t>(Composed)];
    if (!P.Parts.empty()) {
      // The union of the boxes.
      const double X0 = std::min(P.CTM[4], D.CTM[4]), Y0 = std::min(P.CTM[5], D.CTM[5]);
      const double X1 = std::max(P.CTM[4] + P.CTM[0], D.CTM[4] + D.CTM[0]);
      const double Y1 = std::max(P.CTM[5] + P.CTM[3], D.CTM[5] + D.CTM[3]);
      P.CTM = {X1 - X0, 0, 0, Y1 - Y0, X0, Y0};
    }
    P.Parts.push_back(&D);
  }
  return Pieces;
}

// The pixels per point of an image's draw, across and down.
std::pair<double, double> Density(const TPDFRenderer::TImageDraw& D) {
  const auto* Dict = D.Image->Dictionary();
  const double W = std::max(1, Dict->GetInteger("Width", 1)), H = std::max(1, Dict->GetInteger("Height", 1));
  const double Wide = std::hypot(D.CTM[0], D.CTM[1]), High = std::hypot(D.CTM[2], D.CTM[3]);
  return {Wide > 0 ? W / Wide : 0, High > 0 ? H / High : 0};
}

// The strips of P composed into one gray picture on white, at the finest
// density among them (at most 600 dpi and the pixel limit), each strip
// scaled into its box by its nearest pixels, the darker pixel winning
// where strips overlap. Strips that cannot be decoded are left out (with
// a warning line in Warnings).
TPDFImageResult Compose(const TPiece& P, const TPDFImageLimits& Limits, std::vector<std::string>& Warnings, int Page) {
  TPDFImageResult Result;
  double PerPoint = 0;
  for (const auto* D : P.Parts) {
    const auto [X, Y] = Density(*D);
    PerPoint = std::max({PerPoint, X, Y});
  }
  const double Wide = P.CTM[0], High = P.CTM[3];
  PerPoint = std::min(PerPoint, 600.0 / 72);
  const double Most = static_cast<double>(std::min<uint64_t>(Limits.MaxPixels, Limits.MaxBytes));
  if (Wide * High * PerPoint * PerPoint > Most) PerPoint = std::sqrt(Most / (Wide * High));
  const auto CW = static_cast<int32_t>(std::clamp(std::ceil(Wide * PerPoint), 1.0, 1e9));
  const auto CH = static_cast<int32_t>(std::clamp(std::ceil(High * PerPoint), 1.0, 1e9));
  if (!(PerPoint > 0) || static_cast<double>(CW) * CH > Most) {
    Result.Error = "the strips of the page cannot be composed";
    return Result;
  }
  TPDFImage& Canvas = Result.Image;
  Canvas.Width = CW;
  Canvas.Height = CH;
  Canvas.Components = 1;
  Canvas.Pixels.assign(static_cast<size_t>(CW) * static_cast<size_t>(CH), '\xFF');
  for (const auto* D : P.Parts) {
    TPDFImageResult Strip = DecodeImage(*D->Image, D->Resources, Limits, D->Fill);
    if (!Strip.Ok()) {
      Warnings.push_back("an image of page " + std::to_string(Page) + " is not read: " + Strip.Error);
      continue;
    }
    const TPDFImage& I = Strip.Image;
    // The strip's box in canvas pixels (rows from the top).
    const double Left = (D->CTM[4] - P.CTM[4]) * PerPoint, Right = Left + D->CTM[0] * PerPoint;
    const double Top = (P.CTM[5] + High - (D->CTM[5] + D->CTM[3])) * PerPoint, Bottom = Top + D->CTM[3] * PerPoint;
    const int32_t X0 = std::clamp(static_cast<int32_t>(std::floor(Left)), 0, CW);
    const int32_t X1 = std::clamp(static_cast<int32_t>(std::ceil(Right)), 0, CW);
    const int32_t Y0 = std::clamp(static_cast<int32_t>(std::floor(Top)), 0, CH);
    const int32_t Y1 = std::clamp(static_cast<int32_t>(std::ceil(Bottom)), 0, CH);
    const size_t C = static_cast<size_t>(I.Components);
    for (int32_t Y = Y0; Y < Y1; ++Y) {
      const auto SY = static_cast<size_t>(std::clamp((Y + 0.5 - Top) / (Bottom - Top) * I.Height, 0.0, I.Height - 1.0));
      for (int32_t X = X0; X < X1; ++X) {
        const auto SX = static_cast<size_t>(std::clamp((X + 0.5 - Left) / (Right - Left) * I.Width, 0.0, I.Width - 1.0));
        const auto* Px = reinterpret_cast<const uint8_t*>(I.Pixels.data()) + (SY * static_cast<size_t>(I.Width) + SX) * C;
        const uint8_t Gray = C == 1 ? Px[0] : static_cast<uint8_t>((Px[0] * 299 + Px[1] * 587 + Px[2] * 114) / 1000);
        auto& Dst = reinterpret_cast<uint8_t&>(Canvas.Pixels[static_cast<size_t>(Y) * static_cast<size_t>(CW) + static_cast<size_t>(X)]);
        Dst = std::min(Dst, Gray);
      }
    }
  }
  return Result;
}

// The quarter turns (clockwise) that show a picture drawn by CTM as it is
// seen on the page: a scan stored sideways and turned upright by its CTM,
// or by the page's /Rotate, is read upright. Mirrored pictures count by the
// way their rows run.
int QuarterTurns(const TPDFMatrix& CTM, int32_t PageRotation) {
  // The picture's rows on the page as seen (y down), in degrees clockwise
  // from left to right, and then the page's own turn.
  const double Degrees = std::atan2(-CTM[1], CTM[0]) * 180 / M_PI + static_cast<double>(PageRotation);
  if (!std::isfinite(Degrees)) return 0;
  return static_cast<int>(((std::lround(Degrees / 90) % 4) + 4) % 4);
}

// The matrix that draws a picture turned by Turns quarter turns where CTM
// draws it unturned: the turned picture's unit square onto the original's,
// then CTM.
TPDFMatrix TurnedCTM(const TPDFMatrix& CTM, int Turns) {
  static constexpr TPDFMatrix Unturn[4] = {
      {1, 0, 0, 1, 0, 0}, {0, 1, -1, 0, 1, 0}, {-1, 0, 0, -1, 1, 1}, {0, -1, 1, 0, 0, 1}};
  return Turns == 0 ? CTM : MultiplyMatrix(Unturn[Turns & 3], CTM);
}

// How P's picture is read: mirrored (left to right) when its CTM mirrors it
// (a picture stored bottom row first and drawn upside down is mirrored and
// half turned), then turned, so that it is read as it is seen; CTM draws
// the picture so read. The strips of a composed picture stand upright
// already.
struct TView {
  bool Mirrored = false;
  int Turns = 0;
  TPDFMatrix CTM{};
};

TView ViewOf(TPDFDocument& Document, const TPiece& P) {
  TView View;
  View.CTM = P.CTM;
  if (P.Parts.size() != 1) return View;
  const TPDFMatrix& M = P.CTM;
  View.Mirrored = M[0] * M[3] - M[1] * M[2] < 0;
  // The mirrored picture's unit square onto the original's: x to 1 - x.
  if (View.Mirrored) View.CTM = MultiplyMatrix({-1, 0, 0, 1, 1, 0}, M);
  View.Turns = QuarterTurns(View.CTM, Document.PageTree()->PageRotation());
  View.CTM = TurnedCTM(View.CTM, View.Turns);
  return View;
}

// The words of P's picture, read at about the recogniser's resolution (and
// turned as it is seen: their boxes are in the turned picture's pixels).
const TPDFImageWords& WordsOf(TPDFDocument& Document, const TPiece& P) {
  TPDFOCRSession& OCR = Document.OCR;
  if (P.Parts.size() == 1) {
    const TPDFRenderer::TImageDraw& D = *P.Parts.front();
    // Its pixels per inch on the page, from the size it is drawn at.
    const auto [X, Y] = Density(D);
    const double Dpi = X > 0 && Y > 0 ? std::sqrt(X * Y) * 72 : TPDFRecogniser::Resolution;
    const double Scale = std::clamp(std::isfinite(Dpi) && Dpi > 0 ? TPDFRecogniser::Resolution / Dpi : 1, 0.05, 8.0);
    const TView View = ViewOf(Document, P);
    if (View.Turns == 0 && !View.Mirrored)
      return OCR.Words(KeyOf(Document, *D.Image), *D.Image, D.Resources, D.Fill, Scale);
    return OCR.Words(
        KeyOf(Document, *D.Image) + (View.Mirrored ? "@m" : "@") + std::to_string(View.Turns),
        [&] {
          TPDFImageResult Decoded = DecodeImage(*D.Image, D.Resources, OCR.Limits, D.Fill);
          if (Decoded.Ok()) Decoded.Image = TurnImage(Decoded.Image, View.Turns, View.Mirrored);
          return Decoded;
        },
        Scale);
  }
  std::string Key = "C";
  for (const auto* D : P.Parts) Key += KeyOf(Document, *D->Image) + "|";
  const int Page = Document.PageTree()->PageIndex();
  std::vector<std::string> Warnings;
  const TPDFImageWords& Words = OCR.Words(
      Key, [&] { return Compose(P, OCR.Limits, Warnings, Page); },
      // The canvas is read at the recogniser's resolution from its own.
      [&] {
        double PerPoint = 0;
        for (const auto* D : P.Parts) {
          const auto [X, Y] = Density(*D);
          PerPoint = std::max({PerPoint, X, Y});
        }
        PerPoint = std::min(PerPoint, 600.0 / 72);
        return PerPoint > 0 ? std::clamp(TPDFRecogniser::Resolution / (PerPoint * 72), 0.05, 8.0) : 1.0;
      }());
  for (auto& W : Warnings) OCR.PageWarnings.push_back(std::move(W));
  return Words;
}

// Reads the images of Draws (once each per document) into Funnel as words
// of their own: each word's box mapped from the image's pixels to the page,
// its baseline on its line's, its size its height on the page.
void AddRecognisedWords(TPDFDocument& Document, TPDFTextFunnel& Funnel, const TDraws& Draws) {
  TPDFOCRSession& OCR = Document.OCR;
  for (const TPiece& D : PiecesOf(Draws)) {
    const TPDFImageWords& Words = WordsOf(Document, D);
    if (!Words.Error.empty()) {
      if (Words.NoRecogniser) OCR.PageUnread = true;
      else
        Document.OCR.PageWarnings.push_back("an image of page " + std::to_string(Document.PageTree()->PageIndex()) +
                                            " is not read: " + Words.Error);
      continue;
    }
    OCR.PageRecognised = true;
    const double W = Words.Width, H = Words.Height;
    const TPDFMatrix CTM = ViewOf(Document, D).CTM;
    const double High = std::hypot(CTM[2], CTM[3]);
    for (const TPDFOCRWord& Word : Words.Words) {
      const double U0 = Word.Left / W, U1 = Word.Right / W;
      const double Base = 1 - (Word.BaselineLeft + Word.BaselineRight) / 2 / H, Top = 1 - Word.Top / H;
      const double Size = (Word.Bottom - Word.Top) / H * High;
      Funnel.SetMergeEnabled(true);
      Funnel.AddFragment(CTM, InCodePage(Word.Text, *Document.CodePage), "#000000", "OCR", Size, U0, Base, U1 - U0,
                         Top - Base, 0, 0, true);
    }
  }
}

// The text of the words of D's image: its lines in Tesseract's reading
// order, words apart by a space, lines by CR LF (none after the last).
std::string RecognisedText(TPDFDocument& Document, const TPiece& D) {
  const TPDFImageWords& Words = WordsOf(Document, D);
  std::string Out;
  if (!Words.Error.empty()) {
    if (Words.NoRecogniser) Document.OCR.PageUnread = true;
    else
      Document.OCR.PageWarnings.push_back("an image of page " + std::to_string(Document.PageTree()->PageIndex()) +
                                          " is not read: " + Words.Error);
    return Out;
  }
  Document.OCR.PageRecognised = true;
  int Line = -1;
  for (const TPDFOCRWord& Word : Words.Words) {
    if (Line >= 0) Out += Word.Line != Line ? "\r\n" : " ";
    Out += InCodePage(Word.Text, *Document.CodePage);
    Line = Word.Line;
  }
  return Out;
}

// The renderer of Document's selected page, telling its images to Draws
// when the document's OCR may read them.
void SetUpRenderer(TPDFDocument& Document, TPDFRenderer& Renderer, TDraws& Draws) {
  Renderer.OutputMode = 5;
  Renderer.Page = Document.PageTree()->PageDict();
  Renderer.MayHoldKey = [&Document](int32_t Number, int32_t Generation, std::string_view Key) {
    return Document.MayHoldKey(Number, Generation, Key);
  };
  Renderer.AttachBudget(&Document.PageBudget());
  if (Document.OCR.Mode != TPDFOCRMode::Never)
    Renderer.OnImage = [&Draws](const TPDFRenderer::TImageDraw& D) {
      if (Draws.size() < MaxDraws) Draws.push_back(D);
    };
}

}  // namespace

void RenderPageText(TPDFDocument& Document, TPDFTextFunnel& Funnel) {
  Funnel.Clear();
  Document.OCR.StartPage();
  TPDFPageTree* Tree = Document.PageTree();
  if (!Tree || !Tree->PageDict()) return;
  // Fonts load once per document: each request shares the document's cache.
  TPDFFontCollection Fonts(*Document.CodePage, &Document.FontCache());
  Fonts.LoadFontPrograms = true;
  TPDFRenderer Renderer(Fonts, *Document.CodePage);
  TDraws Draws;
  SetUpRenderer(Document, Renderer, Draws);
  Renderer.AttachFunnel(&Funnel);
  Renderer.RenderPage();
  if (WantsRecognition(Document.OCR, *Tree, Draws, FunnelHasText(Funnel))) AddRecognisedWords(Document, Funnel, Draws);
}

std::string GetPageText(TPDFDocument& Document, int TextType, TPDFTextFunnel* Funnel) {
  TPDFPageTree* Tree = Document.PageTree();
  if (TextType < 0 || TextType > 4 || !Tree || !Tree->PageDict()) return {};
  if (TextType >= 3) {
    if (Funnel) {
      RenderPageText(Document, *Funnel);
      return Funnel->GetRows();
    }
    TPDFTextFunnel Own;
    RenderPageText(Document, Own);
    return Own.GetRows();
  }
  const TCodePage& CodePage = *Document.CodePage;
  TPDFFontCollection Fonts(CodePage, &Document.FontCache());
  Fonts.LoadFontPrograms = true;
  if (TextType == 1) TextType = 0;
  TPDFExtractor Extractor(Tree->GetPageResources(), Fonts, CodePage);
  // The content layout: always, the text of each image (an XObject or
  // inline) stands where it is drawn; that of the images of a page read for
  // having no text of its own follows the page's text, as do images the
  // walk does not reach (in annotations' appearances).
  TPDFOCRSession& OCR = Document.OCR;
  OCR.StartPage();
  std::unordered_set<std::string> Read;
  if (TextType == 0 && OCR.Mode == TPDFOCRMode::Always)
    Extractor.ImageText = [&](const TPDFStream& Image, const TPDFMatrix& CTM, TPDFDictionary* Resources) {
      Read.insert(KeyOf(Document, Image));
      const TPDFRenderer::TImageDraw Draw{&Image, CTM, Resources, {0, 0, 0}};
      return RecognisedText(Document, TPiece{CTM, {&Draw}});
    };
  Extractor.AttachBudget(&Document.PageBudget());
  const std::vector<const TPDFStream*> Streams(Tree->ContentStreams().begin(), Tree->ContentStreams().end());
  std::string Text = Extractor.Extract(Streams, TextType);
  if (TextType != 0 || OCR.Mode == TPDFOCRMode::Never) return Text;
  const bool HasText = !IsBlank(Text);
  if (HasText && OCR.Mode != TPDFOCRMode::Always) return Text;
  TPDFRenderer Renderer(Fonts, CodePage);
  TDraws Draws;
  SetUpRenderer(Document, Renderer, Draws);
  Renderer.RenderPage();
  if (!WantsRecognition(OCR, *Tree, Draws, HasText)) return Text;
  auto WasRead = [&](const TPDFRenderer::TImageDraw& D) { return Read.count(KeyOf(Document, *D.Image)) > 0; };
  Draws.erase(std::remove_if(Draws.begin(), Draws.end(), WasRead), Draws.end());
  for (const TPiece& P : PiecesOf(Draws)) {
    const std::string Recognised = RecognisedText(Document, P);
    if (Recognised.empty()) continue;
    if (!Text.empty() && (Text.size() < 2 || Text.compare(Text.size() - 2, 2, "\r\n") != 0)) Text += "\r\n";
    Text += Recognised;
  }
  return Text;
}
