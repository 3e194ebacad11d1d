// Stream filter throughput: Flate against a plain zlib loop, LZW and ASCII85.
#include <benchmark/benchmark.h>

#include <zlib.h>

#include <string>

#include "uPDFAscii85.h"
#include "uPDFFlate.h"
#include "uPDFLZW.h"
#include "uPDFStructure.h"

namespace {

// Content-stream-like text: about as compressible as real page content.
std::string ContentText(size_t Size) {
  std::string S;
  uint32_t X = 42;
  while (S.size() < Size) {
    X = X * 1664525 + 1013904223;
    S += "BT /F" + std::to_string(X % 7) + " " + std::to_string(8 + X % 5) + " Tf " + std::to_string(X % 612) + " " +
         std::to_string((X >> 8) % 792) + " Td (Word" + std::to_string(X % 9973) + " and text) Tj ET\n";
  }
  S.resize(Size);
  return S;
}

const std::string& Plain() {
  static const std::string S = ContentText(48 << 20);
  return S;
}

const std::string& Packed() {
  static const std::string S = DeflateBytes(Plain());
  return S;
}

// What a straightforward caller writes: inflate into a 64 KiB buffer and append.
std::string PlainZlibInflate(const std::string& Data) {
  z_stream Z{};
  inflateInit(&Z);
  std::string Out;
  char Buf[65536];
  Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
  Z.avail_in = static_cast<uInt>(Data.size());
  int R;
  do {
    Z.next_out = reinterpret_cast<Bytef*>(Buf);
    Z.avail_out = sizeof Buf;
    R = inflate(&Z, Z_NO_FLUSH);
    Out.append(Buf, sizeof Buf - Z.avail_out);
  } while (R == Z_OK);
  inflateEnd(&Z);
  return Out;
}

void BM_ZlibLoop(benchmark::State& State) {
  Packed();  // built before the clock runs
  for (auto _ : State) benchmark::DoNotOptimize(PlainZlibInflate(Packed()));
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Plain().size()));
}
BENCHMARK(BM_ZlibLoop)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_InflateBytes(benchmark::State& State) {
  for (auto _ : State) benchmark::DoNotOptimize(InflateBytes(Packed()));
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Plain().size()));
}
BENCHMARK(BM_InflateBytes)->Unit(benchmark::kMillisecond)->MinTime(2);

// The whole pipeline on a stream object, as a page's content is read.
void BM_GetDecodedDataFlate(benchmark::State& State) {
  TPDFStructure S;
  TPDFStream* Stream = S.NewStream(Packed());
  Stream->Dictionary()->SetValue("Filter", S.NewName("FlateDecode"));
  for (auto _ : State) benchmark::DoNotOptimize(Stream->GetDecodedData());
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Plain().size()));
}
BENCHMARK(BM_GetDecodedDataFlate)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_PngPredictor(benchmark::State& State) {
  // Rows of 1 tag byte and 1000 data bytes, Paeth-filtered.
  std::string Rows;
  const std::string& P = Plain();
  for (size_t I = 0; I + 1000 <= (16u << 20); I += 1000) Rows += '\4' + P.substr(I, 1000);
  for (auto _ : State) benchmark::DoNotOptimize(ApplyPredictor(Rows, 12, 1, 8, 1000));
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Rows.size()));
}
BENCHMARK(BM_PngPredictor)->Unit(benchmark::kMillisecond)->MinTime(2);

// ASCII85 text of 16 MiB of content bytes.
void BM_ASCII85(benchmark::State& State) {
  std::string Text;
  const std::string Data = Plain().substr(0, 16 << 20);
  for (size_t I = 0; I < Data.size(); I += 4) {
    uint32_t V = 0;
    for (int K = 0; K < 4; ++K) V = V * 256 + static_cast<unsigned char>(Data[I + K]);
    char G[5];
    for (int K = 4; K >= 0; --K, V /= 85) G[K] = static_cast<char>('!' + V % 85);
    Text.append(G, 5);
    if (I % 64 == 60) Text += '\n';
  }
  Text += "~>";
  for (auto _ : State) benchmark::DoNotOptimize(DecodeASCII85(Text));
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Text.size()));
}
BENCHMARK(BM_ASCII85)->Unit(benchmark::kMillisecond)->MinTime(2);

// LZW codes for 16 MiB of content text, packed MSB first with early change.
std::string LZWEncode(const std::string& In) {
  std::string Out;
  uint64_t Acc = 0;
  int Bits = 0, Width = 9;
  auto Put = [&](uint32_t Code) {
    Acc = (Acc << Width) | Code;
    for (Bits += Width; Bits >= 8; Bits -= 8) Out += static_cast<char>((Acc >> (Bits - 8)) & 0xFF);
  };
  // Table as (prefix code, byte) -> code in a flat array of 4096 x 256.
  std::vector<uint16_t> Next(4096 * 256, 0);
  uint32_t Free = 258;
  Put(256);
  int Prefix = -1;
  for (unsigned char C : In) {
    if (Prefix < 0) {
      Prefix = C;
      continue;
    }
    if (uint16_t Code = Next[Prefix * 256 + C]) {
      Prefix = Code;
      continue;
    }
    Put(Prefix);
    Next[Prefix * 256 + C] = static_cast<uint16_t>(Free++);
    if (Free == (1u << Width) && Width < 12) ++Width;  // one code early, as the decoder expects
    if (Free == 4094) {
      Put(256);
      std::fill(Next.begin(), Next.end(), 0);
      Free = 258;
      Width = 9;
    }
    Prefix = C;
  }
  if (Prefix >= 0) Put(Prefix);
  Put(257);
  Put(0);
  return Out;
}

void BM_LZW(benchmark::State& State) {
  const std::string Data = Plain().substr(0, 16 << 20);
  const std::string Codes = LZWEncode(Data);
  TPDFLZWDecompressor D;
  D.EarlyChange = true;
  if (D.Decode(Codes) != Data) State.SkipWithError("LZW round trip failed");
  for (auto _ : State) benchmark::DoNotOptimize(D.Decode(Codes));
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Data.size()));
  State.counters["ratio"] = static_cast<double>(Codes.size()) / static_cast<double>(Data.size());
}
BENCHMARK(BM_LZW)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace
