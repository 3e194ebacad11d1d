// Fuzz target: the content interpreter in text mode with its funnel, in both
// word modes. The input up to the first byte 0xFF is the page content, the rest
// the content of a form XObject and of an annotation appearance (both of
// which may invoke the form again).
#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>

#include "CodePage.h"
#include "uPDFFontCollection.h"
#include "uPDFRenderer.h"
#include "uPDFStructure.h"
#include "uPDFTextFunnel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const auto CodePage = TCodePage::Create("UTF-8");
  std::string_view In(reinterpret_cast<const char*>(Data), Size);
  const size_t Split = In.find('\xFF');
  std::string_view PageContent = In.substr(0, Split);
  std::string_view FormContent = Split == std::string_view::npos ? std::string_view() : In.substr(Split + 1);

  TPDFStructure S;
  std::map<int, TPDFObject*> Objects;
  S.OnResolveReference = [&](TPDFIndRef*, int32_t N, int32_t) -> TPDFObject* {
    auto It = Objects.find(N);
    return It == Objects.end() ? nullptr : It->second;
  };
  auto Stream = [&](const char* Dict, std::string_view Bytes) {
    TPDFStream* St = S.NewStream(std::string(Bytes));
    St->SetDictionary(As<TPDFDictionary>(S.ParseObject(Dict)));
    return St;
  };
  Objects[1] = S.ParseObject("<< /Subtype /Type1 /BaseFont /Helvetica >>");
  Objects[2] = S.ParseObject("<< /Subtype /Type0 /DescendantFonts [3 0 R] /ToUnicode 4 0 R >>");
  Objects[3] = S.ParseObject("<< /Subtype /CIDFontType2 /W [1 [500 600] 10 20 700] >>");
  Objects[4] = Stream("<< >>", "begincodespacerange <0000> <FFFF> endcodespacerange beginbfrange <0001> <0100> <0041> endbfrange");
  Objects[5] = Stream("<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] /Matrix [1 0 0 1 5 5] >>", FormContent);
  Objects[6] = S.ParseObject("<< /Rect [10 10 20 20] /AP << /N 7 0 R >> >>");
  Objects[7] = Stream("<< /Subtype /Form /BBox [0 0 1 1] /Resources << /XObject << /X 5 0 R >> /Font << /F1 1 0 R >> >> >>",
                      FormContent);
  Objects[8] = Stream("<< >>", PageContent);
  Objects[9] = S.ParseObject("<< /Subtype /Type0 /Encoding /Identity-V /DescendantFonts [10 0 R] /ToUnicode 4 0 R >>");
  Objects[10] = S.ParseObject("<< /Subtype /CIDFontType2 /DW2 [880 -1100] /W2 [1 [-500 250 880] 10 20 -700 400 860] >>");
  auto* Page = As<TPDFDictionary>(S.ParseObject(
      "<< /Type /Page /Contents [8 0 R] /Annots [6 0 R] /Resources << /Font << /F1 1 0 R /F2 2 0 R /F3 9 0 R >> "
      "/XObject << /X 5 0 R >> /ExtGState << /G << /Font [2 0 R 9] >> >> /ColorSpace << /C [/ICCBased 4 0 R] >> >> >>"));
  for (bool Words : {false, true}) {
    TPDFFontCollection Fonts(*CodePage);
    TPDFRenderer Renderer(Fonts, *CodePage);
    TPDFTextFunnel Funnel;
    Funnel.WordMode = Words;
    Renderer.AttachFunnel(&Funnel);
    Renderer.Page = Page;
    Renderer.RenderPage();
    Funnel.GetRows();
  }
  return 0;
}
