// The content interpreter in text mode: every shown string of a page, its
// form XObjects and its annotation appearances becomes a positioned fragment
// in a text funnel.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "uPDFExtra.h"

class TPDFDictionary;
class TPDFFontCollection;
class TPDFPageBudget;
class TPDFIndRef;
class TPDFObject;
class TPDFStream;
class TPDFStructure;
class TPDFTextFunnel;
class TCodePage;

// Interprets content in output mode 5 (text). Painting operators have no
// effect; inline image data is skipped. The font collection and code page must
// outlive the renderer.
// One thread at a time (it lives for one page-text request).
class TPDFRenderer {
 public:
  using TMatrix = TPDFMatrix;

  TPDFRenderer(TPDFFontCollection& Collection, const TCodePage& CodePage);
  ~TPDFRenderer();
  TPDFRenderer(const TPDFRenderer&) = delete;
  TPDFRenderer& operator=(const TPDFRenderer&) = delete;

  int OutputMode = 5;
  // The page dictionary RenderPage interprets.
  TPDFDictionary* Page = nullptr;
  // Whether object Number Generation may be a dictionary with the key Key,
  // told by whoever holds the unparsed objects (the document): annotations
  // it rules out as having no appearance (AP) are skipped without being
  // parsed. May be empty: every annotation is then parsed.
  std::function<bool(int32_t Number, int32_t Generation, std::string_view Key)> MayHoldKey;

  // An image the content draws: its stream (an image XObject, or an inline
  // image made a stream of the renderer's own, which lives as long as the
  // renderer), the CTM at its Do or EI (the image's unit square to device
  // space), the resources in force (for the colour spaces it names) and the
  // fill colour (for a stencil mask).
  struct TImageDraw {
    const TPDFStream* Image = nullptr;
    TMatrix CTM{};
    const TPDFDictionary* Resources = nullptr;
    std::array<uint8_t, 3> Fill{0, 0, 0};
  };
  // Told of every image drawn, when set; nothing is read for images when
  // not.
  std::function<void(const TImageDraw&)> OnImage;

  // Uses Funnel (owned by the caller) instead of the renderer's own.
  void AttachFunnel(TPDFTextFunnel* Funnel);
  // Spends Budget (owned by the caller: the page's) instead of an own budget
  // of the default limits. Once it is spent the page stops.
  void AttachBudget(TPDFPageBudget* Budget);
  TPDFTextFunnel& Funnel() { return *FFunnel; }
  // Clears the funnel and interprets the page, then its annotations.
  void RenderPage();
  // Interprets a page dictionary or a form XObject stream.
  void Interpret(TPDFObject* Object);

  // Operand stack entries kept at most (older ones are dropped: they are
  // never taken by a later operator, except by a very long text array).
  static constexpr size_t MaxOperands = 1 << 16;
  // Forms and appearances nest no deeper than this.
  static constexpr int MaxFormDepth = 64;

 private:
  struct TGraphicsState;
  struct TRun;
  using THandler = void (TPDFRenderer::*)(TRun&);

  static const std::unordered_map<std::string_view, THandler>& Operators();
  std::string_view NextToken(TRun& R);
  void Dispatch(TRun& R, std::string_view Token);
  double TakeNumber(TRun& R);
  std::string TakeText(TRun& R);
  void SelectStateFont(TRun& R);
  void Show(TRun& R, size_t Count);
  // How one text show measures: the glyph matrix G (glyph units to device
  // space), the font size in device space, and glyph units per unit of text
  // space horizontally and vertically.
  struct TGlyphUnits {
    TMatrix G{};
    double Size = 0;
    double PerTextUnitX = 1000;
    double PerTextUnitY = 1000;
  };
  // The fragment of Text from E to D glyph units along the text; Vertical:
  // down the page from the vertical origin, an em wide about it.
  void AddWord(TRun& R, const TGlyphUnits& U, const std::string& Text, double E, double D, bool Vertical = false);
  void SetFill(TRun& R, const std::string& Space);
  void RunXObject(TRun& R, const std::string& Name);
  void AnnotationPass();

  // Operators.
  void OpSave(TRun& R);
  void OpRestore(TRun& R);
  void OpConcat(TRun& R);
  void OpExtGState(TRun& R);
  void OpDo(TRun& R);
  void OpBeginText(TRun& R);
  void OpFont(TRun& R);
  void OpTextMatrix(TRun& R);
  void OpMove(TRun& R);
  void OpMoveLeading(TRun& R);
  void OpNextLine(TRun& R);
  void OpScaling(TRun& R);
  void OpRise(TRun& R);
  void OpCharSpacing(TRun& R);
  void OpWordSpacing(TRun& R);
  void OpLeading(TRun& R);
  void OpRenderMode(TRun& R);
  void OpArray(TRun& R);
  void OpShowArray(TRun& R);
  void OpShow(TRun& R);
  void OpQuote(TRun& R);
  void OpInlineImage(TRun& R);
  void OpFillRGB(TRun& R);
  void OpFillGray(TRun& R);
  void OpFillCMYK(TRun& R);
  void OpFillColor(TRun& R);
  void OpFillSpace(TRun& R);
  void OpStrokeRGB(TRun& R);
  void OpStrokeGray(TRun& R);
  void OpStrokeCMYK(TRun& R);
  void OpStrokeSpace(TRun& R);
  void OpNothing(TRun& R);

  TPDFFontCollection& FCollection;
  const TCodePage& FCodePage;
  std::unique_ptr<TPDFTextFunnel> FOwnFunnel;
  TPDFTextFunnel* FFunnel;
  std::unique_ptr<TPDFPageBudget> FOwnBudget;
  TPDFPageBudget* FBudget;
  TMatrix FCTM{1, 0, 0, 1, 0, 0};
  TPDFDictionary* FCallerResources = nullptr;
  // Forms being interpreted: a form that invokes itself is not run again.
  std::unordered_set<const TPDFObject*> FActiveForms;
  int FDepth = 0;
  // References made for fonts named by "N G R" texts (from gs).
  std::unordered_map<std::string, TPDFIndRef*> FFontRefs;
  // The streams of the inline images told to OnImage.
  std::unique_ptr<TPDFStructure> FInlineImages;
};
