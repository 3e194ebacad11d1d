// Object parser throughput and structure bookkeeping on large synthetic input.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "uPDFStructure.h"

namespace {

// A few hundred bytes of the kinds of objects real files hold.
std::string MixedObject(uint32_t& Seed, int I) {
  auto Next = [&] { return Seed = Seed * 1664525 + 1013904223; };
  std::string S;
  switch (I % 5) {
    case 0:
      S = "<< /Type /Page /Parent 3 0 R /MediaBox [ 0 0 612 792 ] /Resources << /Font << /F1 " +
          std::to_string(Next() % 10000) + " 0 R /F2 12 0 R >> /ProcSet [ /PDF /Text ] >> /Contents " +
          std::to_string(Next() % 10000) + " 0 R /Rotate 0 >>";
      break;
    case 1:
      S = "[ ";
      for (int K = 0; K < 24; ++K) S += std::to_string(Next() % 2000) + " ";
      S += "-12.375 0.5 .25 -.75 ]";
      break;
    case 2:
      S = "<< /Title (Annual report \\(draft\\) with an escaped\\nline and some words) /Author (J. Smith) "
          "/ID [ <4A6F686E20536D697468> <0123456789ABCDEF0123456789abcdef> ] /Creator (tool 1.0) >>";
      break;
    case 3:
      S = "<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF#2BArial#20Bold /FirstChar 32 /LastChar 126 "
          "/Widths [ ";
      for (int K = 0; K < 30; ++K) S += std::to_string(200 + Next() % 800) + " ";
      S += "] /Encoding /WinAnsiEncoding /FontDescriptor 9 0 R >>";
      break;
    default:
      S = "<< /Kids [ 4 0 R 5 0 R 6 0 R 7 0 R 8 0 R ] /Count 5 /Type /Pages /Flag true /Empty null "
          "/Dest [ 4 0 R /XYZ 0 792 null ] >>";
  }
  return S;
}

struct TInput {
  std::string Text;
  std::vector<std::pair<size_t, size_t>> Objects;  // offset, length
};

const TInput& Input() {
  static const TInput In = [] {
    TInput R;
    uint32_t Seed = 7;
    for (int I = 0; R.Text.size() < (32u << 20); ++I) {
      std::string Obj = MixedObject(Seed, I);
      R.Objects.emplace_back(R.Text.size(), Obj.size());
      R.Text += Obj;
      R.Text += "\nendobj\n";
    }
    return R;
  }();
  return In;
}

// Objects parsed one by one, as a document reads them.
void BM_ParseObjects(benchmark::State& State) {
  const TInput& In = Input();
  for (auto _ : State) {
    TPDFStructure S;
    S.ReserveSlots(In.Objects.size() * 16);
    for (auto [Offset, Length] : In.Objects)
      benchmark::DoNotOptimize(S.ParseObject(std::string_view(In.Text).substr(Offset)));
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * static_cast<int64_t>(In.Text.size()));
  State.counters["objects"] = static_cast<double>(In.Objects.size());
}
BENCHMARK(BM_ParseObjects)->Unit(benchmark::kMillisecond)->MinTime(3);

// The same text as one flat array of objects.
void BM_ParseOneBigArray(benchmark::State& State) {
  const TInput& In = Input();
  std::string Text = "[";
  for (auto [Offset, Length] : In.Objects) Text.append(In.Text, Offset, Length).append(" ");
  Text += "]";
  for (auto _ : State) {
    TPDFStructure S;
    benchmark::DoNotOptimize(S.ParseObject(Text));
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * static_cast<int64_t>(Text.size()));
}
BENCHMARK(BM_ParseOneBigArray)->Unit(benchmark::kMillisecond)->MinTime(3);

// A million names with shared-key lookups and frees in between: must stay linear.
void BM_MillionNamesFindAndFree(benchmark::State& State) {
  const int N = static_cast<int>(State.range(0));
  for (auto _ : State) {
    TPDFStructure S;
    std::vector<TPDFName*> Names;
    Names.reserve(N);
    for (int I = 0; I < N; ++I) {
      Names.push_back(S.NewName(I % 2 ? "Type" : "Length"));
      if (I % 1000 == 0) benchmark::DoNotOptimize(S.NewSharedName("Type"));
    }
    for (int I = 0; I < N; I += 2) S.FreeObject(Names[I], false);
    benchmark::DoNotOptimize(S.FindName("Length"));
    benchmark::DoNotOptimize(S.ObjectAt(N / 3));
  }
  State.SetItemsProcessed(State.iterations() * N);
}
BENCHMARK(BM_MillionNamesFindAndFree)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
