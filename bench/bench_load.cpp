// Loading a large real document and selecting every page, as
// `textextractor --info` does. The file is taken from VORLITH_BENCH_PDF, by
// default Debian's r-doc-pdf manual (2,415 pages); bench/compare_load.sh times
// the same work against mutool.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "uPDFDocument.h"
#include "uPDFPageTree.h"

namespace {

std::string BenchFile() {
  const char* Env = std::getenv("VORLITH_BENCH_PDF");
  return Env ? Env : "/usr/share/R/doc/manual/fullrefman.pdf";
}

void BM_LoadAndSelectEveryPage(benchmark::State& State) {
  std::ifstream In(BenchFile(), std::ios::binary);
  const std::string Bytes{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
  if (Bytes.empty()) {
    State.SkipWithError("no benchmark file (install r-doc-pdf or set VORLITH_BENCH_PDF)");
    return;
  }
  int32_t Pages = 0;
  for (auto _ : State) {
    TPDFDocument Doc;
    if (!Doc.LoadFromData(Bytes)) {
      State.SkipWithError("the file does not load");
      return;
    }
    TPDFPageTree* Tree = Doc.PageTree();
    Pages = Tree->PageCount();
    double Sum = 0;
    for (int32_t P = 1; P <= Pages; ++P) {
      Tree->SelectPage(P);
      Sum += Tree->PageWidth() + Tree->PageHeight();
    }
    benchmark::DoNotOptimize(Sum);
  }
  State.counters["pages"] = Pages;
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Bytes.size()));
}
BENCHMARK(BM_LoadAndSelectEveryPage)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace
