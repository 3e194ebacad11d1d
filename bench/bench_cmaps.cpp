// Predefined CMaps (poppler-data): the one-time cost of reading the maps a
// Chinese font without ToUnicode needs, and the look-ups of its text.
#include <benchmark/benchmark.h>

#include "ResourceData.h"
#include "uPDFCMap.h"

namespace {

// Reading UniGB-UCS2-H and Adobe-GB1-UCS2 with a fresh store, as the first
// document of a process that needs them does.
void BM_PredefinedCMapFirstUse(benchmark::State& State) {
  for (auto _ : State) {
    TPDFCMapStore Store(TResourceData::Installed());
    auto Encoding = Store.Find("UniGB-UCS2-H");
    auto ToUnicode = Store.CIDToUnicode("Adobe", "GB1");
    if (!Encoding || !ToUnicode) {
      State.SkipWithError("poppler-data's CMaps are not installed");
      return;
    }
    benchmark::DoNotOptimize(Encoding->LookupCID(0x4E2D));
  }
}
BENCHMARK(BM_PredefinedCMapFirstUse)->Unit(benchmark::kMillisecond);

// Code to CID to characters, for every character of the CJK block.
void BM_PredefinedCMapLookups(benchmark::State& State) {
  auto Encoding = TPDFCMapStore::Installed().Find("UniGB-UCS2-H");
  auto ToUnicode = TPDFCMapStore::Installed().CIDToUnicode("Adobe", "GB1");
  if (!Encoding || !ToUnicode) {
    State.SkipWithError("poppler-data's CMaps are not installed");
    return;
  }
  std::u32string Chars;
  for (auto _ : State) {
    for (uint32_t Code = 0x4E00; Code < 0x9FA6; ++Code) {
      Chars.clear();
      if (auto CID = Encoding->LookupCID(Code)) ToUnicode->Lookup(*CID, Chars);
      benchmark::DoNotOptimize(Chars.data());
    }
  }
  State.SetItemsProcessed(static_cast<int64_t>(State.iterations()) * (0x9FA6 - 0x4E00));
}
BENCHMARK(BM_PredefinedCMapLookups);

}  // namespace
