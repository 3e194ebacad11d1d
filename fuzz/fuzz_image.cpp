// Fuzz target: the image decoders. The input's first line is the image
// dictionary (without << >>), the rest its stored bytes; the same bytes are
// also read as an inline image's dictionary text and data.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "uPDFImage.h"
#include "uPDFStructure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string_view In(reinterpret_cast<const char*>(Data), Size);
  const size_t Line = In.find('\n');
  const std::string_view DictText = In.substr(0, Line);
  const std::string_view Raw = Line == std::string_view::npos ? std::string_view() : In.substr(Line + 1);

  TPDFImageLimits Limits;
  Limits.MaxPixels = 1 << 20;
  Limits.MaxBytes = 8 << 20;
  TPDFStructure S;
  S.MaxDecodedSize = Limits.MaxBytes;
  TPDFStream* Stream = S.NewStream(std::string(Raw));
  if (auto* Dict = As<TPDFDictionary>(S.ParseObject("<<" + std::string(DictText) + ">>"))) Stream->SetDictionary(Dict);
  auto* Resources = As<TPDFDictionary>(S.ParseObject("<< /ColorSpace << /CS0 [/Indexed /DeviceRGB 3 <00112233445566778899AABB>] >> >>"));
  DecodeImage(*Stream, Resources, Limits, {10, 20, 30});
  if (TPDFStream* Inline = InlineImageStream(S, DictText, Raw)) DecodeImage(*Inline, Resources, Limits);
  return 0;
}
