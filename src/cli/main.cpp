// Console program: until the document layer lands it parses every "N G obj"
// object it finds in the file and reports what it read.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "uPDFExtra.h"
#include "uPDFStructure.h"

namespace {

const char* KindName(TPDFClass C) {
  switch (C) {
    case TPDFClass::Name: return "name";
    case TPDFClass::Dictionary: return "dictionary";
    case TPDFClass::Null: return "null";
    case TPDFClass::Boolean: return "boolean";
    case TPDFClass::Numeric: return "number";
    case TPDFClass::String: return "string";
    case TPDFClass::Array: return "array";
    case TPDFClass::Stream: return "stream";
    case TPDFClass::IndRef: return "reference";
  }
  return "?";
}

// Whether "obj" at Pos is preceded by "<digits> <digits> ".
bool IsObjKeyword(const std::string& Text, size_t Pos) {
  size_t I = Pos;
  auto SkipBack = [&](bool Digits) {
    size_t Start = I;
    while (I > 0 && (Digits ? IsPDFDigit(Text[I - 1]) : IsPDFWhite(Text[I - 1]))) --I;
    return I < Start;
  };
  return SkipBack(false) && SkipBack(true) && SkipBack(false) && SkipBack(true);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "Usage: textextractor FILE\n");
    return 1;
  }
  std::ifstream In(argv[1], std::ios::binary);
  if (!In) {
    std::fprintf(stderr, "Can not open file: %s\n", argv[1]);
    return 3;
  }
  std::string Text{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
  TPDFStructure S;
  std::map<std::string, int> Kinds;
  int Objects = 0;
  for (size_t Pos = Text.find("obj"); Pos != std::string::npos; Pos = Text.find("obj", Pos + 3)) {
    if (!IsObjKeyword(Text, Pos)) continue;
    ++Objects;
    TPDFObject* Obj = S.ParseObject(std::string_view(Text).substr(Pos + 3));
    ++Kinds[Obj ? KindName(Obj->Class()) : "unreadable"];
  }
  std::printf("%s: %zu bytes, %d objects parsed\n", argv[1], Text.size(), Objects);
  for (const auto& [Kind, Count] : Kinds) std::printf("  %-12s %d\n", Kind.c_str(), Count);
  return 0;
}
