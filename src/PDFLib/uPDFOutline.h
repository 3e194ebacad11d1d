// A document's outline (its bookmarks) and the labels of its pages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TPDFDocument;

// One item of the outline.
struct TPDFOutlineItem {
  // 1 for the items at the top, 2 for their children, and so on.
  int Level = 0;
  // The title as UTF-8; control characters (CR, LF, NUL ...) become spaces,
  // and spaces at either end are trimmed.
  std::string Title;
  // The 1-based number of the page the item goes to; 0 when it goes to no
  // page of this document (a web link, another file, a page that is missing).
  int32_t Page = 0;

  bool operator==(const TPDFOutlineItem&) const = default;
};

// The outline of Document in document order: each item, then its children
// (First), then its next sibling (Next). A destination is an explicit one
// ([page /XYZ ...], the page as a reference or as a 0-based number), a name
// or string looked up in the catalog's Dests or in its Names tree's Dests, or
// a GoTo action's D. A Next or First leading back to an item already listed
// ends that chain; items deeper than 64 levels and those past the 100000th
// are left out. Strings of a protected document are read once its password is
// accepted. Empty when there is no outline. Never throws for a bad file; only
// std::bad_alloc, when memory runs out.
std::vector<TPDFOutlineItem> ReadOutline(TPDFDocument& Document);

// The label of each page of Document (index 0: page 1) from the catalog's
// PageLabels: each range's prefix and its number in its style from its start
// (St, 1 when absent). Pages before the first range are labelled with their
// decimal page number. Empty when the catalog has no PageLabels, or none that
// gives a range. Never throws for a bad file; only std::bad_alloc.
std::vector<std::string> ReadPageLabels(TPDFDocument& Document);

// Value in the page label style Style: 'D' decimal, 'R' and 'r' roman
// numerals (upper and lower case), 'A' and 'a' letters (A..Z, then AA..ZZ,
// AAA.., the letter repeated). Any other style gives "". A value below 1, a
// roman value above 9999 and a letter value above 2600 (a hundred letters)
// are written in decimal, so that no value makes a long label.
std::string PageLabelNumber(int64_t Value, char Style);
