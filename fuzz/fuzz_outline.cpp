// Fuzz target: a whole document from bytes: load (with the empty password),
// then its outline and its page labels, with the checks that their results
// keep (levels that go down one at a time, pages of the document, one label
// a page); and one page label number from the first nine bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "uPDFDocument.h"
#include "uPDFOutline.h"
#include "uPDFPageTree.h"

namespace {

void Check(bool Condition) {
  if (!Condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size >= 9) {
    int64_t Value = 0;
    std::memcpy(&Value, Data, sizeof Value);
    Check(PageLabelNumber(Value, static_cast<char>(Data[8])).size() <= 100);
  }
  TPDFDocument Doc;
  Doc.Structure()->MaxDecodedSize = 16 << 20;
  if (!Doc.LoadFromData(std::string(reinterpret_cast<const char*>(Data), Size))) return 0;
  const int32_t Pages = Doc.PageTree() ? Doc.PageTree()->PageCount() : 0;
  int Level = 0;
  const auto Items = ReadOutline(Doc);
  Check(Items.size() <= 100000);
  for (const TPDFOutlineItem& Item : Items) {
    Check(Item.Level >= 1 && Item.Level <= 64 && Item.Level <= Level + 1);
    Check(Item.Page >= 0 && Item.Page <= Pages);
    Level = Item.Level;
  }
  const auto Labels = ReadPageLabels(Doc);
  Check(Labels.empty() || Labels.size() == static_cast<size_t>(Pages));
  return 0;
}
