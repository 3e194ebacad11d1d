// The page-text request: the text of a document's selected page, by the plain
// extractor or by the content interpreter, with fonts from the document's
// cache.
#pragma once

#include <string>

class TPDFDocument;
class TPDFTextFunnel;

// The text of Document's selected page: types 0 and 1 the plain text in
// content order, 2 the plain extractor's rows, 3 and 4 the rows of the
// positioned fragments (4: one per word), collected in Funnel when given.
// Empty for other types and without a selected page. Each call makes its own
// font collection on the document's font cache, so a font is loaded once per
// document. One request at a time per document.
std::string GetPageText(TPDFDocument& Document, int TextType, TPDFTextFunnel* Funnel = nullptr);

// The positioned fragments of Document's selected page (types 3 and 4)
// collected in Funnel, which is cleared first (and stays empty without a
// selected page).
void RenderPageText(TPDFDocument& Document, TPDFTextFunnel& Funnel);
