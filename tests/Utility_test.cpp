// The row splitter and file name helpers.
#include "Utility.h"

#include <gtest/gtest.h>

namespace {

TEST(SplitString, FieldsEscapesAndQuotes) {
  using V = std::vector<std::string>;
  struct Case {
    std::string Line;
    V Expected;
  } Cases[] = {
      {"a,b,c", {"a", "b", "c"}},
      {"", {""}},
      {"a,", {"a", ""}},
      {",", {"", ""}},
      {"\"x,y\",z", {"x,y", "z"}},
      {"a\\,b,c", {"a,b", "c"}},
      {"\"q\\\"q\"", {"q\"q"}},
      {"a\\", {std::string("a\0", 2)}},  // an escape at the very end gives a zero byte
      {"ab\"c\"d", {"abcd"}},
      {"\"open,quote", {"open,quote"}},
  };
  for (const auto& C : Cases) EXPECT_EQ(SplitString(C.Line, ",", '\\', "\""), C.Expected) << C.Line;
  EXPECT_EQ(SplitString("a::b:c", "::", '\\', "\""), (V{"a", "b:c"}));
}

TEST(FileNames, ExtensionAndName) {
  struct Case {
    std::string Path, Txt, Name;
  } Cases[] = {
      {"/docs/a.pdf", "/docs/a.txt", "a.pdf"},
      {"/docs/a.b.PDF", "/docs/a.b.txt", "a.b.PDF"},
      {"/docs.d/file", "/docs.d/file.txt", "file"},
      {"file", "file.txt", "file"},
      {"", ".txt", ""},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(ChangeFileExt(C.Path, ".txt"), C.Txt) << C.Path;
    EXPECT_EQ(ExtractFileName(C.Path), C.Name) << C.Path;
  }
}

}  // namespace
