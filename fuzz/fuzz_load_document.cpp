// Fuzz target: a whole document from bytes: load (with the empty password),
// then every page decrypted and selected with its size, boxes, content bytes
// and resources, and its text in content order and as blocks, within small
// page budgets.
#include <cstddef>
#include <cstdint>
#include <string>

#include "uPDFDocument.h"
#include "uPDFPageText.h"
#include "uPDFPageTree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TPDFDocument Doc;
  Doc.Structure()->MaxDecodedSize = 16 << 20;
  if (!Doc.LoadFromData(std::string(reinterpret_cast<const char*>(Data), Size))) return 0;
  TPDFPageTree* Tree = Doc.PageTree();
  const int32_t Count = Tree->PageCount();
  // An encrypted document that opens with the empty password decrypts what
  // each page reaches, as the engine does before it selects a page.
  const bool Decrypt = Doc.EncryptionState() == 1;
  for (int32_t I = 1; I <= Count && I <= 64; ++I) {
    if (Decrypt) Tree->DecryptPage();
    Tree->SelectPage(I);
    Tree->PageWidth();
    Tree->PageHeight();
    Tree->PageRotation();
    Tree->GetPageBox("TrimBox", 2);
    Tree->GetPageContentBytes();
    Tree->GetPageResources();
    TPDFLimits Small;
    Small.Operators = 200000;
    Small.Glyphs = 50000;
    Small.Words = 20000;
    Small.DecodedBytes = Small.ContentBytes = 32 << 20;
    for (int Mode : {0, 3}) {
      Doc.ResetPageBudget(Small, {});
      GetPageText(Doc, Mode);
    }
  }
  Tree->SelectPage(Count + 1);
  Doc.GetInfo();
  return 0;
}
