// Fuzz target: the repair of damaged files. The input is scanned on its own
// (the scan's findings must lie in order inside the data), then loaded as a
// file whose cross-reference chain cannot be read, so that the object table
// is always rebuilt; every page is then selected and read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "uPDFDocument.h"
#include "uPDFPageTree.h"
#include "uPDFXRef.h"

namespace {

void Check(bool Condition) {
  if (!Condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view Input(reinterpret_cast<const char*>(Data), Size);
  const TPDFFileScan Scan = ScanFile(Input);
  int64_t Last = -1;
  for (const TPDFObjectHeader& H : Scan.Headers) {
    Check(H.Offset > Last && static_cast<size_t>(H.Offset) < Size);
    Last = H.Offset;
  }
  for (size_t I = 0; I < Scan.EndStreams.size(); ++I) {
    Check(Input.substr(static_cast<size_t>(Scan.EndStreams[I]), 9) == "endstream");
    Check(I == 0 || Scan.EndStreams[I - 1] < Scan.EndStreams[I]);
  }

  // A header, then 1100 bytes in which the chain's start offset 0 finds no
  // section, the input, and a startxref of 0.
  std::string File = "%PDF-1.7\n%" + std::string(1100, ' ') + "\n";
  File.append(Input);
  File += "\nstartxref\n0\n%%EOF\n";
  TPDFDocument Doc;
  Doc.Structure()->MaxDecodedSize = 16 << 20;
  if (!Doc.LoadFromData(std::move(File))) return 0;
  Check(Doc.Rebuilt());
  TPDFPageTree* Tree = Doc.PageTree();
  const int32_t Count = Tree->PageCount();
  Check(static_cast<size_t>(Count) <= Doc.ObjectCount());
  for (int32_t I = 1; I <= Count && I <= 64; ++I) {
    Tree->SelectPage(I);
    Tree->PageWidth();
    Tree->GetPageContentBytes();
    Tree->GetPageResources();
  }
  Doc.ApplyPassword("");
  Doc.GetInfo();
  return 0;
}
