// Font program readers on real programs: a Type 1 program (fonts-urw-base35),
// a CFF program (the test fixture) and a TrueType program
// (fonts-liberation2), and the choice of an installed substitute once the
// process has chosen it before.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>

#include "uPDFTrueTypeParser.h"
#include "uPDFTrueTypeRasterizer.h"
#include "uPDFType1.h"

namespace {

std::string ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::ostringstream Out;
  Out << In.rdbuf();
  return Out.str();
}

void BM_Type1Program(benchmark::State& State) {
  const std::string Data = ReadFile("/usr/share/fonts/type1/urw-base35/NimbusRoman-Regular.t1");
  const size_t Clear = Data.find("eexec");
  if (Data.empty() || Clear == std::string::npos) {
    State.SkipWithError("fonts-urw-base35 is not installed");
    return;
  }
  const int64_t Length1 = static_cast<int64_t>(Clear + 6);
  for (auto _ : State) {
    TPDFType1Decoder Decoder;
    Decoder.LoadType1Program(Data, Length1, static_cast<int64_t>(Data.size()) - Length1, 0);
    benchmark::DoNotOptimize(Decoder.BuiltInEncoding[65]);
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * Data.size()));
}
BENCHMARK(BM_Type1Program);

void BM_CFFProgram(benchmark::State& State) {
  const std::string Data = ReadFile(VORLITH_SOURCE_DIR "/tests/fixtures/fonts/nimbus-sans.cff");
  for (auto _ : State) {
    TPDFType1Decoder Decoder;
    Decoder.LoadCFFProgram(Data);
    benchmark::DoNotOptimize(Decoder.BuiltInEncoding[65]);
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * Data.size()));
}
BENCHMARK(BM_CFFProgram);

void BM_TrueTypeProgram(benchmark::State& State) {
  const std::string Data = ReadFile("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf");
  if (Data.empty()) {
    State.SkipWithError("fonts-liberation2 is not installed");
    return;
  }
  for (auto _ : State) {
    TPDFTrueTypeParser Parser;
    Parser.LoadFromData(Data);
    benchmark::DoNotOptimize(Parser.GlyphIndexOfName("A"));
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * Data.size()));
}
BENCHMARK(BM_TrueTypeProgram);

void BM_SubstituteChosenBefore(benchmark::State& State) {
  auto& Substitutes = TPDFSubstituteFonts::Installed();
  Substitutes.Substitute("ABCDEF+Arial-BoldMT", 32);
  for (auto _ : State) benchmark::DoNotOptimize(Substitutes.Substitute("ABCDEF+Arial-BoldMT", 32));
}
BENCHMARK(BM_SubstituteChosenBefore);

}  // namespace
