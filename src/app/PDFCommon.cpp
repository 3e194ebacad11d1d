// Page text layouts.
#include "PDFCommon.h"

#include "uPDFEngine.h"

void GetPageTextByType(TPDFEngine& Engine, uint8_t TextType, std::string& Text) {
  switch (TextType) {
    case 0:
      Text = Engine.GetPageText(0);
      break;
    case 1:
    case 2:
      // The reflow and positioned layouts re-write the rows of page text
      // mode 3, which the engine does not produce yet.
      Text.clear();
      break;
    default:
      break;
  }
}
