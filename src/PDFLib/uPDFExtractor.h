// The plain text extractor: a page's content in content-stream order, with
// spaces and line breaks where the text position jumps.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

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

  // The text of Content in Mode (0 or 2); the empty text for other modes.
  std::string Extract(std::string_view Content, int Mode);

  // The text to write (mode 0) where image XObject Image is drawn with CTM
  // (its unit square to the page), Resources in force; may be empty. Its
  // text stands on lines of its own.
  std::function<std::string(const TPDFStream& Image, const TPDFMatrix& CTM, TPDFDictionary* Resources)> ImageText;

 private:
  using TMatrix = TPDFMatrix;

  // Reads the tokens of Content (the page's, or a form's) in the current
  // state; the content read before comes back afterwards.
  void Walk(std::string_view Content);
  // The text of form XObject Name of the current resources, where its Do
  // stands; other XObjects and unknown names give nothing.
  void RunForm(const std::string& Name);
  std::string NextToken();
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

  // Extraction state.
  std::string_view FContent;
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

  // Forms: nesting, the forms being read (a form met again inside itself is
  // skipped), and the forms and bytes read in one extraction, each with its
  // limit. A form's decoded content is kept for the extraction.
  static constexpr int MaxFormDepth = 64;
  static constexpr int MaxFormRuns = 100000;
  static constexpr size_t MaxFormBytes = size_t{64} << 20;
  int FFormDepth = 0;
  int FFormRuns = 0;
  size_t FFormBytes = 0;
  std::unordered_set<const TPDFStream*> FActiveForms;
  std::unordered_map<const TPDFStream*, std::string> FFormContents;
};
