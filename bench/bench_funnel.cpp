// Text funnel join search on a synthetic page of many fragments.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "uPDFTextFunnel.h"

namespace {

struct TFragment {
  TPDFTextFunnel::TMatrix Matrix;
  std::string Text, Color, FontName;
  double Size, W;
};

// Count fragments of a dense page set in columns: lines of words in a few
// fonts and sizes, each word shown as one to three pieces (as kerned text is),
// now and then a word in bold or in red, the way a content interpreter hands
// them over in glyph space (the matrix scales by the size).
std::vector<TFragment> SyntheticPage(int Count) {
  static const char* const Fonts[] = {"Times-Roman", "Times-Bold", "Helvetica", "Courier"};
  static const double Sizes[] = {6, 8, 10};
  uint32_t Seed = 12345;
  auto Next = [&] { return (Seed = Seed * 1664525 + 1013904223) >> 8; };
  std::vector<TFragment> Out;
  Out.reserve(Count);
  double Top = 0;
  while (static_cast<int>(Out.size()) < Count) {
    // A block of 60 lines in one body size, in four columns of 130 points.
    const double Size = Sizes[Next() % 3];
    for (int Column = 0; Column < 4 && static_cast<int>(Out.size()) < Count; ++Column) {
      for (int Line = 0; Line < 60 && static_cast<int>(Out.size()) < Count; ++Line) {
        const double Y = -(Top + Line * Size * 1.2);
        double X = 36 + Column * 140;
        while (X < 36 + Column * 140 + 130 && static_cast<int>(Out.size()) < Count) {
          const int Style = Next() % 20;
          const char* Font = Style == 0 ? Fonts[1] : Style == 1 ? Fonts[2] : Style == 2 ? Fonts[3] : Fonts[0];
          const char* Color = Next() % 50 == 0 ? "#C00000" : "#000000";
          const int Pieces = 1 + Next() % 3;
          for (int P = 0; P < Pieces; ++P) {
            const double W = (1 + Next() % 3) * 0.5;  // glyph space: 0.5 to 1.5 sizes
            Out.push_back({{Size, 0, 0, Size, X, Y}, "piece" + std::to_string(Next() % 1000), Color, Font, Size, W});
            X += W * Size;
          }
          X += Size * 0.28;  // the space between words
        }
      }
    }
    Top += 60 * Size * 1.2 + 24;
  }
  return Out;
}

void BM_Funnel50k(benchmark::State& State) {
  const auto Page = SyntheticPage(50000);
  size_t Blocks = 0;
  for (auto _ : State) {
    TPDFTextFunnel Funnel;
    for (const auto& F : Page) Funnel.AddFragment(F.Matrix, F.Text, F.Color, F.FontName, F.Size, 0, -0.2, F.W, 1);
    Blocks = Funnel.Blocks().size();
    benchmark::DoNotOptimize(Blocks);
  }
  State.SetItemsProcessed(State.iterations() * static_cast<int64_t>(Page.size()));
  State.counters["blocks"] = static_cast<double>(Blocks);
}
BENCHMARK(BM_Funnel50k)->Unit(benchmark::kMillisecond);

}  // namespace
