// Page text layouts: the text the extraction run writes for a page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Names.h"
#include "uPDFTextFunnel.h"

class TPDFEngine;

// The selected page of Engine laid out by TextType: content order, reflowed
// lines, positioned records or reading order (ReadingOrder.h). Any other
// TextType leaves Text as it is.
void GetPageTextByType(TPDFEngine& Engine, TTextType TextType, std::string& Text);

// Both layouts read the rows of page text mode 3 (twelve comma-separated
// fields: font, colour, size, the x and y of four corners, the text). Lines end
// at CR, LF or CR LF; a zero byte ends the rows; lines of fewer than twelve
// fields are skipped. Numbers are written with the decimal separator of the
// current LC_NUMERIC locale.

// The fragments of Rows sorted top to bottom and left to right and joined into
// lines: baselines within 2.0 of a baseline seen earlier are moved onto it,
// fragments of one line are separated by two spaces, lines by CR LF (none at
// the end). PageHeight is the height of the page in the units of the rows.
// Empty for no rows.
std::string ReflowLayout(std::string_view Rows, double PageHeight);
// The same on rows as values (TPDFTextFunnel::TakeRows), which is what the
// text of the rows reads back as.
std::string ReflowLayout(const std::vector<TPDFTextFunnel::TRow>& Rows, double PageHeight);

// One record "@X=x,Y=y@text@ENDTEXT@" per row with a non-empty text, x and y
// being the row's start corner with 2 decimals, records separated by CR LF.
// Empty for no rows.
std::string PositionedLayout(std::string_view Rows);
std::string PositionedLayout(const std::vector<TPDFTextFunnel::TRow>& Rows);
