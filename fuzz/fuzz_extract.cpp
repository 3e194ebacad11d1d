// Fuzz target: the plain extractor on arbitrary content, in both modes, with
// a simple font, a composite font and a form XObject in the resources. The
// input up to the first byte 0xFF is the page content, the rest the form's
// (which may invoke the form again). Mode 0 runs once more with image text
// wanted.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "CodePage.h"
#include "uPDFExtractor.h"
#include "uPDFFontCollection.h"
#include "uPDFStructure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const auto CodePage = TCodePage::Create("UTF-8");
  TPDFStructure S;
  std::string_view In(reinterpret_cast<const char*>(Data), Size);
  const size_t Split = In.find('\xFF');
  std::string_view Content = In.substr(0, Split);
  std::string_view FormContent = Split == std::string_view::npos ? std::string_view() : In.substr(Split + 1);
  TPDFObject* Objects[5] = {};
  Objects[1] = S.ParseObject("<< /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  Objects[2] = S.ParseObject("<< /Subtype /Type0 /BaseFont /X /DescendantFonts [3 0 R] >>");
  Objects[3] = S.ParseObject("<< /Subtype /CIDFontType2 /W [1 [500 600] 10 20 700] >>");
  TPDFStream* Form = S.NewStream(std::string(FormContent));
  Form->SetDictionary(As<TPDFDictionary>(S.ParseObject(
      "<< /Type /XObject /Subtype /Form /Matrix [0.5 0 0 0.5 10 10] /Resources << /Font << /F1 2 0 R >> "
      "/XObject << /X 4 0 R >> >> >>")));
  Objects[4] = Form;
  S.OnResolveReference = [&](TPDFIndRef*, int32_t N, int32_t) -> TPDFObject* {
    return N >= 1 && N <= 4 ? Objects[N] : nullptr;
  };
  auto* Resources = As<TPDFDictionary>(S.ParseObject("<< /Font << /F1 1 0 R /F2 2 0 R >> /XObject << /X 4 0 R >> >>"));
  for (int Mode : {0, 2}) {
    TPDFFontCollection Fonts(*CodePage);
    TPDFExtractor Extractor(Resources, Fonts, *CodePage);
    Extractor.Extract(Content, Mode);
  }
  // With image text wanted, inline images are skipped whole and their
  // streams made.
  TPDFFontCollection Fonts(*CodePage);
  TPDFExtractor Extractor(Resources, Fonts, *CodePage);
  Extractor.ImageText = [](const TPDFStream& Image, const TPDFMatrix&, TPDFDictionary*) {
    return std::string(Image.RawData().substr(0, 4));
  };
  Extractor.Extract(Content, 0);
  return 0;
}
