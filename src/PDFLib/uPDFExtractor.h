// The plain text extractor: a page's content in content-stream order, with
// spaces and line breaks where the text position jumps.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "uPDFBudget.h"
#include "uPDFExtra.h"
#include "uPDFFontConst.h"

class TCodePage;
class TPDFDictionary;
class TPDFFontCollection;
struct TPDFFontCollectionData;
class TPDFIndRef;
class TPDFStream;
class TPDFStructure;

// Walks the content tokens once, and the tokens of each form XObject where
// its Do stands. Mode 0 gives the page's plain text; mode 2 one quoted row
// per text-showing operator (x, y, colour, size, font, text).
// One thread at a time (it lives for one page-text request).
class TPDFExtractor {
 public:
  // Resources may be null; FontCollection and CodePage must outlive the extractor.
  TPDFExtractor(TPDFDictionary* Resources, TPDFFontCollection& FontCollection, const TCodePage& CodePage);
  ~TPDFExtractor();
  TPDFExtractor(const TPDFExtractor&) = delete;
  TPDFExtractor& operator=(const TPDFExtractor&) = delete;

  // The text of Content in Mode (0 or 2); the empty text for other modes.
  std::string Extract(std::string_view Content, int Mode);
  // The same for content streams read one after another, each decoded
  // through the budget when the one before has ended.
  std::string Extract(const std::vector<const TPDFStream*>& Streams, int Mode);
  // Spends Budget (owned by the caller: the page's) instead of an own budget
  // of the default limits. Once it is spent the walk stops.
  void AttachBudget(TPDFPageBudget* Budget);

  // The text to write (mode 0) where image Image, an XObject or an inline
  // image, is drawn with CTM (its unit square to the page), Resources in
  // force; may be empty. Its text stands on lines of its own. While it is
  // set, the data of inline images are skipped as whole, not read as
  // tokens.
  std::function<std::string(const TPDFStream& Image, const TPDFMatrix& CTM, TPDFDictionary* Resources)> ImageText;

 private:
  using TMatrix = TPDFMatrix;

  std::string Extract(std::string_view Content, const std::vector<const TPDFStream*>& Streams, int Mode);
  // Reads Content, then Streams, in the current state; the content read
  // before comes back afterwards.
  void Walk(std::string_view Content, const std::vector<const TPDFStream*>& Streams);
  // The text of form XObject Name of the current resources, where its Do
  // stands; other XObjects and unknown names give nothing.
  void RunForm(const std::string& Name);
  // The inline image whose dictionary follows BI: its text through
  // ImageText, and the walk on past its EI.
  void RunInlineImage();
  // ImageText's text of Image on lines of its own.
  void AddImageText(const TPDFStream& Image);
  std::string NextToken();
  std::string NextTokenOfPart();
  double TextWidth(std::string_view Bytes) const;
  // The text of Bytes in the current font; the codes at Spaces (ascending
  // offsets) are word breaks the extractor inserted and read as " ". In a
  // composite font a break is no byte of its own: it stands before the byte
  // at its offset.
  std::string MapText(std::string_view Bytes, const std::vector<size_t>& Spaces = {}) const;
  TPDFIndRef* FontRefOf(const std::string& Name) const;
  std::string BaseFontNameOf(const std::string& Name);
  // The operand N places before the newest (1: the newest).
  const std::string& Operand(int N) const { return FWindow[(FWindowHead + 6 - N) % 6]; }
  std::string& OperandRef(int N) { return FWindow[(FWindowHead + 6 - N) % 6]; }
  double Number(int N) const;
  void PushOperand(std::string Token);
  bool EndsWithLineBreak() const;
  void AppendRow(double X, double Y, std::string_view Bytes, const std::vector<size_t>& Spaces = {});
  void SetColour(double R, double G, double B);
  void OnTextMatrix();
  void OnTextMove(bool TD);
  void SelectSpace();
  static std::string CleanUp(std::string Text);

  TPDFDictionary* FResources;
  TPDFStructure* FStructure;
  TPDFFontCollection& FFonts;
  const TCodePage& FCodePage;
  TPDFDictionary* FFontResources = nullptr;
  // Font resource name to /BaseFont (mode 2); keys compared without case.
  std::vector<std::pair<std::string, std::string>> FBaseFonts;
  TPDFGlyphNames FDefaultGlyphNames;
  TPDFGlyphWidths FDefaultWidths;
  TPDFCodeTexts FDefaultTexts;

  // The inline images read for ImageText, as streams.
  std::unique_ptr<TPDFStructure> FInlineImages;
  std::unique_ptr<TPDFPageBudget> FOwnBudget;
  TPDFPageBudget* FBudget;

  // Extraction state: the streams still to read, and the content being read
  // with the position in it.
  std::vector<const TPDFStream*> FStreams;
  size_t FNextStream = 0;
  std::string_view FContent;
  // Contents made of a string a stream left open and the stream after it.
  std::deque<std::string> FJoined;
  int64_t FPos = 1;
  int FMode = 0;
  std::string FOut;
  std::string FFillColorText;
  double FFontSize = 12, FScale = 1, FCharSpacing = 0, FWordSpacing = 0, FLeading = 0;
  double FX = 0, FY = 0, FLineX = 0, FLineY = 0, FPrevX = 0, FPrevY = 0, FArrayStartX = 0;
  const TPDFGlyphWidths* FWidths = nullptr;
  const TPDFCodeTexts* FCodeTexts = nullptr;
  // The current font's record: composite fonts split their strings and find
  // each code's text and width through it, as the interpreter does.
  const TPDFFontCollectionData* FFont = nullptr;
  bool Composite() const;
  int FSpaceCode = 32;
  double FSpaceWidth = 280;
  // The space code and width of each font's texts, once worked out.
  std::unordered_map<const TPDFCodeTexts*, std::pair<int, double>> FSpaceCache;
  TMatrix FCTM{1, 0, 0, 1, 0, 0}, FSavedCTM{1, 0, 0, 1, 0, 0};
  std::array<std::string, 6> FWindow;
  int FWindowHead = 0;  // index of the slot after the newest
  std::string FCurrentString, FArrayText, FBaseFontName;
  // Where FArrayText holds inserted word breaks.
  std::vector<size_t> FArraySpaces;

  // Forms: nesting, and the forms being read (a form met again inside itself
  // is skipped). A form's decoded content is the page budget's.
  static constexpr int MaxFormDepth = 64;
  int FFormDepth = 0;
  std::unordered_set<const TPDFStream*> FActiveForms;
};
