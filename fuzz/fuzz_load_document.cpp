// Fuzz target: a whole document from bytes: load, then every page selected with
// its size, boxes, content bytes and resources.
#include <cstddef>
#include <cstdint>
#include <string>

#include "uPDFDocument.h"
#include "uPDFPageTree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TPDFDocument Doc;
  Doc.Structure()->MaxDecodedSize = 16 << 20;
  if (!Doc.LoadFromData(std::string(reinterpret_cast<const char*>(Data), Size))) return 0;
  TPDFPageTree* Tree = Doc.PageTree();
  const int32_t Count = Tree->PageCount();
  for (int32_t I = 1; I <= Count && I <= 64; ++I) {
    Tree->SelectPage(I);
    Tree->PageWidth();
    Tree->PageHeight();
    Tree->PageRotation();
    Tree->GetPageBox("TrimBox", 2);
    Tree->GetPageContentBytes();
    Tree->GetPageResources();
  }
  Tree->SelectPage(Count + 1);
  Doc.GetInfo();
  return 0;
}
