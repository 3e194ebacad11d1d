// The JSON form of the reading-order layout: a document as one object,
// written page by page, with its metadata.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ReadingOrder.h"
#include "uPDFMetadata.h"
#include "uPDFOutline.h"

// Appends Text as a quoted JSON string: UTF-8 as it is, the quote, the
// backslash and control characters escaped, and each byte that is no part
// of a UTF-8 character as U+FFFD.
void AppendJSONString(std::string& Out, std::string_view Text);
// Appends a number with at most two decimals ("12.5", "0", "-3.25").
void AppendJSONNumber(std::string& Out, double Value);

// A page as a JSON object: {"number", "width", "height", "rotation",
// "label" (when Label is not empty), "blocks": [...]}. A text block is
// {"kind": "text", "bbox", "lines": [{"bbox", "dir", "words": [{"text",
// "bbox", "font", "size", "bold", "italic"}]}]}, a table {"kind": "table",
// "bbox", "rows": [[cell, ...], ...], "lines"}; a running head or foot has
// "margin": true. Boxes are [x0, y0, x1, y1].
std::string PageJSON(const TReadingPage& Page, std::string_view Label = {});
void AppendPageJSON(std::string& Out, const TReadingPage& Page, std::string_view Label = {});

// The metadata as a JSON object: the items the document has ("title",
// "author", "subject", "keywords", "creator", "producer", "creation_date",
// "mod_date"), "version" and "tagged".
std::string MetadataJSON(const TPDFMetadata& Metadata);
// The outline as a JSON array of {"level", "title", "page"} (page 0: none in
// the document).
std::string OutlineJSON(const std::vector<TPDFOutlineItem>& Outline);

// One document's JSON in the order it is written: Begin, the pages one by
// one, End. Each piece is text to append to what came before.
class TJSONDocument {
 public:
  // {"file": File, "pages": [
  std::string Begin(std::string_view File);
  // A page, after a comma when it is not the first.
  std::string Page(const TReadingPage& Page, std::string_view Label = {});
  // ], "outline": [...] (when Outline has items), "metadata": {...}} and a
  // line feed.
  std::string End(const TPDFMetadata& Metadata, const std::vector<TPDFOutlineItem>& Outline = {});

 private:
  bool FFirst = true;
};
