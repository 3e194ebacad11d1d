// The page-text request.
#include "uPDFPageText.h"

#include "CodePage.h"
#include "uPDFDocument.h"
#include "uPDFExtractor.h"
#include "uPDFFontCollection.h"
#include "uPDFPageTree.h"
#include "uPDFRenderer.h"
#include "uPDFTextFunnel.h"

void RenderPageText(TPDFDocument& Document, TPDFTextFunnel& Funnel) {
  Funnel.Clear();
  TPDFPageTree* Tree = Document.PageTree();
  if (!Tree || !Tree->PageDict()) return;
  // Fonts load once per document: each request shares the document's cache.
  TPDFFontCollection Fonts(*Document.CodePage, &Document.FontCache());
  Fonts.LoadFontPrograms = true;
  TPDFRenderer Renderer(Fonts, *Document.CodePage);
  Renderer.OutputMode = 5;
  Renderer.Page = Tree->PageDict();
  Renderer.MayHoldKey = [&Document](int32_t Number, int32_t Generation, std::string_view Key) {
    return Document.MayHoldKey(Number, Generation, Key);
  };
  Renderer.AttachFunnel(&Funnel);
  Renderer.AttachBudget(&Document.PageBudget());
  Renderer.RenderPage();
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
  Extractor.AttachBudget(&Document.PageBudget());
  const std::vector<const TPDFStream*> Streams(Tree->ContentStreams().begin(), Tree->ContentStreams().end());
  return Extractor.Extract(Streams, TextType);
}
