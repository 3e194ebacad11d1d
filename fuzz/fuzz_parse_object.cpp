// Fuzz target: ParseObject on arbitrary bytes, then writing the result back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "uPDFStructure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TPDFStructure S;
  std::string_view Text(reinterpret_cast<const char*>(Data), Size);
  if (TPDFObject* Obj = S.ParseObject(Text)) {
    // The written text must parse again.
    std::string Written = Obj->ToText();
    TPDFStructure Again;
    Again.ParseObject(Written);
  }
  return 0;
}
