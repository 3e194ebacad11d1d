// Console program. For now it loads a PDF file and reports its pages:
//   textextractor [--info] FILE
#include <cstdio>
#include <string>
#include <vector>

#include "uPDFEngine.h"

namespace {

int Usage() {
  std::fprintf(stderr, "Usage: textextractor [--info] FILE\n");
  return 1;
}

// "Pages: N", then "Page I: W x H" for every page.
int PrintInfo(const std::string& File) {
  TPDFEngine Engine;
  if (!Engine.LoadFromFile(File)) {
    std::fprintf(stderr, "Can not load file: %s. It is may be not a valid PDF file.\n", File.c_str());
    return 3;
  }
  const int Count = Engine.PageCount();
  std::printf("Pages: %d\n", Count);
  for (int I = 1; I <= Count; ++I) {
    Engine.SelectPage(I);
    std::printf("Page %d: %.2f x %.2f\n", I, Engine.PageWidth(), Engine.PageHeight());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  std::string File;
  for (const std::string& A : Args) {
    if (A == "--info") continue;
    if (!A.empty() && A[0] == '-') return Usage();
    if (!File.empty()) return Usage();
    File = A;
  }
  if (File.empty()) return Usage();
  return PrintInfo(File);
}
