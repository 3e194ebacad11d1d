// Fuzz target: the plain extractor on arbitrary content, in both modes, with
// a simple font and a composite font in the resources.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "CodePage.h"
#include "uPDFExtractor.h"
#include "uPDFFontCollection.h"
#include "uPDFStructure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const auto CodePage = TCodePage::Create("UTF-8");
  TPDFStructure S;
  TPDFObject* Objects[4] = {};
  Objects[1] = S.ParseObject("<< /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  Objects[2] = S.ParseObject("<< /Subtype /Type0 /BaseFont /X /DescendantFonts [3 0 R] >>");
  Objects[3] = S.ParseObject("<< /Subtype /CIDFontType2 /W [1 [500 600] 10 20 700] >>");
  S.OnResolveReference = [&](TPDFIndRef*, int32_t N, int32_t) -> TPDFObject* {
    return N >= 1 && N <= 3 ? Objects[N] : nullptr;
  };
  auto* Resources = As<TPDFDictionary>(S.ParseObject("<< /Font << /F1 1 0 R /F2 2 0 R >> >>"));
  std::string_view Content(reinterpret_cast<const char*>(Data), Size);
  for (int Mode : {0, 2}) {
    TPDFFontCollection Fonts(*CodePage);
    TPDFExtractor Extractor(Resources, Fonts, *CodePage);
    Extractor.Extract(Content, Mode);
  }
  return 0;
}
