// Loading a large real document and selecting every page, as
// `textextractor --info` does, and loading it damaged (500 bytes inserted
// after its header, so that the object table is rebuilt by scanning) against
// loading it intact. The file is taken from VORLITH_BENCH_PDF, by default
// Debian's r-doc-pdf manual (2,415 pages); bench/compare_load.sh times the
// first against mutool.
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

std::string BenchBytes() {
  std::ifstream In(BenchFile(), std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

// The bench file with 500 bytes of junk after its header line: every offset
// is then wrong and the load rebuilds the object table.
std::string Damaged(std::string Bytes) {
  const size_t Line = Bytes.find('\n');
  if (Line != std::string::npos) Bytes.insert(Line + 1, std::string(499, 'j') + "\n");
  return Bytes;
}

// Loads Bytes (intact or damaged) once per iteration; the same work for both.
void LoadOnly(benchmark::State& State, const std::string& Bytes, bool ExpectRebuilt) {
  if (Bytes.empty()) {
    State.SkipWithError("no benchmark file (install r-doc-pdf or set VORLITH_BENCH_PDF)");
    return;
  }
  int32_t Pages = 0;
  for (auto _ : State) {
    TPDFDocument Doc;
    if (!Doc.LoadFromData(Bytes) || Doc.Rebuilt() != ExpectRebuilt) {
      State.SkipWithError("the file does not load as expected");
      return;
    }
    Pages = Doc.PageTree()->PageCount();
    benchmark::DoNotOptimize(Pages);
  }
  State.counters["pages"] = Pages;
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Bytes.size()));
}

void BM_LoadIntact(benchmark::State& State) { LoadOnly(State, BenchBytes(), false); }
BENCHMARK(BM_LoadIntact)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_LoadRebuilt(benchmark::State& State) {
  const std::string Bytes = BenchBytes();
  LoadOnly(State, Bytes.empty() ? Bytes : Damaged(Bytes), true);
}
BENCHMARK(BM_LoadRebuilt)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_LoadAndSelectEveryPage(benchmark::State& State) {
  const std::string Bytes = BenchBytes();
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
