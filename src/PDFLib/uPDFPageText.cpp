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

// The words of the image of D, read at about the recogniser's resolution.
const TPDFImageWords& WordsOf(TPDFDocument& Document, const TPDFRenderer::TImageDraw& D) {
  // An image XObject is known by its object; an inline one by its bytes.
  std::string Key;
  if (D.Image->Structure() == Document.Structure()) {
    Key = "X" + std::to_string(reinterpret_cast<uintptr_t>(D.Image));
  } else {
    Key = "I" + std::to_string(std::hash<std::string_view>()(D.Image->RawData()));
    Key += D.Image->Dictionary()->ToText();
  }
  // Its pixels per inch on the page, from the width and height it is drawn at.
  const auto* Dict = D.Image->Dictionary();
  const double W = std::max(1, Dict->GetInteger("Width", 1)), H = std::max(1, Dict->GetInteger("Height", 1));
  const double Wide = std::hypot(D.CTM[0], D.CTM[1]) / 72, High = std::hypot(D.CTM[2], D.CTM[3]) / 72;
  const double Dpi = Wide > 0 && High > 0 ? std::sqrt(W / Wide * (H / High)) : TPDFRecogniser::Resolution;
  const double Scale = std::isfinite(Dpi) && Dpi > 0 ? TPDFRecogniser::Resolution / Dpi : 1;
  const TPDFImageWords& Words = Document.OCR.Words(Key, *D.Image, D.Resources, D.Fill, std::clamp(Scale, 0.05, 8.0));
  return Words;
}

// Reads the images of Draws (once each per document) into Funnel as words
// of their own: each word's box mapped from the image's pixels to the page,
// its baseline on its line's, its size its height on the page.
void AddRecognisedWords(TPDFDocument& Document, TPDFTextFunnel& Funnel, const TDraws& Draws) {
  TPDFOCRSession& OCR = Document.OCR;
  for (const auto& D : Draws) {
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
    const double High = std::hypot(D.CTM[2], D.CTM[3]);
    for (const TPDFOCRWord& Word : Words.Words) {
      const double U0 = Word.Left / W, U1 = Word.Right / W;
      const double Base = 1 - (Word.BaselineLeft + Word.BaselineRight) / 2 / H, Top = 1 - Word.Top / H;
      const double Size = (Word.Bottom - Word.Top) / H * High;
      Funnel.SetMergeEnabled(true);
      Funnel.AddFragment(D.CTM, InCodePage(Word.Text, *Document.CodePage), "#000000", "OCR", Size, U0, Base, U1 - U0,
                         Top - Base);
    }
  }
}

// The text of the words of D's image: its lines in Tesseract's reading
// order, words apart by a space, lines by CR LF (none after the last).
std::string RecognisedText(TPDFDocument& Document, const TPDFRenderer::TImageDraw& D) {
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
  const std::string Content = Tree->GetPageContentBytes();
  TPDFExtractor Extractor(Tree->GetPageResources(), Fonts, CodePage);
  // The content layout: always, the text of each image XObject stands where
  // it is drawn; that of inline images, and of the images of a page read
  // for having no text of its own, follows the page's text.
  TPDFOCRSession& OCR = Document.OCR;
  OCR.StartPage();
  std::unordered_set<const TPDFStream*> Read;
  if (TextType == 0 && OCR.Mode == TPDFOCRMode::Always)
    Extractor.ImageText = [&](const TPDFStream& Image, const TPDFMatrix& CTM, TPDFDictionary* Resources) {
      Read.insert(&Image);
      return RecognisedText(Document, {&Image, CTM, Resources, {0, 0, 0}});
    };
  std::string Text = Extractor.Extract(Content, TextType);
  if (TextType != 0 || OCR.Mode == TPDFOCRMode::Never) return Text;
  const bool HasText = !IsBlank(Text);
  if (HasText && OCR.Mode != TPDFOCRMode::Always) return Text;
  TPDFRenderer Renderer(Fonts, CodePage);
  TDraws Draws;
  SetUpRenderer(Document, Renderer, Draws);
  Renderer.RenderPage();
  if (!WantsRecognition(OCR, *Tree, Draws, HasText)) return Text;
  for (const auto& D : Draws) {
    if (Read.count(D.Image)) continue;
    const std::string Recognised = RecognisedText(Document, D);
    if (Recognised.empty()) continue;
    if (!Text.empty() && (Text.size() < 2 || Text.compare(Text.size() - 2, 2, "\r\n") != 0)) Text += "\r\n";
    Text += Recognised;
  }
  return Text;
}
