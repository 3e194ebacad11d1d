// Fuzz target: loading fonts. The first line is a font dictionary, the second
// a descendant (for Type0 fonts), the rest the ToUnicode CMap text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "CodePage.h"
#include "uPDFFontCollection.h"
#include "uPDFStructure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const auto CodePage = TCodePage::Create("UTF-8");
  std::string_view In(reinterpret_cast<const char*>(Data), Size);
  auto Line = [&]() {
    size_t End = In.find('\n');
    std::string_view L = In.substr(0, End);
    In = End == std::string_view::npos ? std::string_view() : In.substr(End + 1);
    return L;
  };
  TPDFStructure S;
  TPDFObject* Objects[4] = {};
  Objects[1] = S.ParseObject(Line());
  Objects[2] = S.ParseObject(Line());
  TPDFStream* Map = S.NewStream(std::string(In));
  Objects[3] = Map;
  S.OnResolveReference = [&](TPDFIndRef*, int32_t N, int32_t) -> TPDFObject* {
    return N >= 1 && N <= 3 ? Objects[N] : nullptr;
  };
  TPDFFontCollection Fonts(*CodePage);
  Fonts.LoadFontPrograms = true;
  for (int N = 1; N <= 3; ++N) Fonts.SelectFont(S.NewIndRef(N, 0));
  return 0;
}
