// Fuzz target: the metadata readers on any bytes: a PDF text string, a PDF
// date and an XMP packet asked for each property the metadata reads.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "uPDFMetadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view In(reinterpret_cast<const char*>(Data), Size);
  TextStringToUTF8(In);
  PDFDateToISO(In);
  for (const char* Name : {"dc:title", "dc:creator", "dc:description", "pdf:Keywords", "xmp:CreatorTool",
                           "pdf:Producer", "xmp:CreateDate", "xmp:ModifyDate"})
    XMPProperty(In, Name);
  return 0;
}
