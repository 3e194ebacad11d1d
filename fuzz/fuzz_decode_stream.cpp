// Fuzz target: the stream filter pipeline. The input's first line is the
// stream dictionary, the rest its stored bytes; the decoders are also driven
// directly with settings taken from the first bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "uPDFAscii85.h"
#include "uPDFFlate.h"
#include "uPDFHexRunLength.h"
#include "uPDFLZW.h"
#include "uPDFStructure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  constexpr size_t Cap = 16 << 20;
  std::string_view In(reinterpret_cast<const char*>(Data), Size);
  size_t Line = In.find('\n');
  std::string_view DictText = In.substr(0, Line);
  std::string_view Raw = Line == std::string_view::npos ? std::string_view() : In.substr(Line + 1);

  TPDFStructure S;
  S.MaxDecodedSize = Cap;
  TPDFStream* Stream = S.NewStream(std::string(Raw));
  if (auto* Dict = As<TPDFDictionary>(S.ParseObject(DictText))) Stream->SetDictionary(Dict);
  Stream->GetDecodedData();

  if (Size >= 4) {
    const int Predictor = Data[0] % 16, Colors = Data[1] % 6 - 1, Columns = Data[2] % 40 - 1;
    static constexpr int Sizes[] = {1, 2, 4, 8, 16};
    ApplyPredictor(std::string(In.substr(4)), Predictor, Colors, Sizes[Data[3] % 5], Columns);
    TPDFLZWDecompressor LZW;
    LZW.EarlyChange = Data[0] & 1;
    LZW.MsbFirst = Data[0] & 2;
    LZW.InitialWidth = 9;
    LZW.Decode(In.substr(4), Cap);
  }
  DecodeASCII85(In, Cap);
  DecodeASCIIHex(In, Cap);
  DecodeRunLength(In, Cap);
  InflateBytes(In, Cap);
  return 0;
}
