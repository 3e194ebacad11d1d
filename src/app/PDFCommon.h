// Page text layouts: the text the extraction run writes for a page.
#pragma once

#include <cstdint>
#include <string>

class TPDFEngine;

// The selected page of Engine laid out by TextType: 0 content order, 1
// reflowed lines, 2 positioned records. Any other TextType leaves Text as it is.
void GetPageTextByType(TPDFEngine& Engine, uint8_t TextType, std::string& Text);
