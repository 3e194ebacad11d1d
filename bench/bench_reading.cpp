// The reading-order layout on a synthetic page of 300,000 words: two columns
// of dense lines under a title, with a caption between them.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "ReadingOrder.h"

namespace {

TPDFTextFunnel::TWord Word(double X, double Y, double Size, const std::string& Text) {
  const double W = 0.5 * Size * static_cast<double>(Text.size());
  return {{X, Y - 0.2 * Size}, {X + W, Y - 0.2 * Size}, {X + W, Y + 0.75 * Size}, {X, Y + 0.75 * Size}, Text, "F",
          Size};
}

void BM_ReadingOrder300k(benchmark::State& State) {
  std::vector<TPDFTextFunnel::TWord> Words;
  Words.push_back(Word(100, 30000, 16, "Title"));
  for (int Line = 0; Line < 7500; ++Line)
    for (int Column = 0; Column < 2; ++Column)
      for (int W = 0; W < 20; ++W) {
        const double Y = 29900 - 4.0 * Line - (Line >= 3750 ? 20 : 0);
        Words.push_back(Word(20 + 220.0 * Column + 10.0 * W, Y, 2, "ab"));
      }
  Words.push_back(Word(20, 29900 - 4.0 * 3750 + 5, 4, "Caption across both columns of the page"));
  for (auto _ : State) benchmark::DoNotOptimize(ReadingOrderLayout(Words));
  State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * Words.size()));
}
BENCHMARK(BM_ReadingOrder300k)->Unit(benchmark::kMillisecond);

}  // namespace
