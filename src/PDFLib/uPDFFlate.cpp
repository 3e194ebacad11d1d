// Bridge to zlib: inflate (with the TIFF and PNG predictors) and deflate of
// zlib-format data.
#include "uPDFFlate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

[[noreturn]] void RaiseCompressionError(int Code) {
  switch (Code) {
    case Z_ERRNO: throw EZCompressionError("file error");
    case Z_STREAM_ERROR: throw EZCompressionError("stream error");
    case Z_DATA_ERROR: throw EZCompressionError("data error");
    case Z_MEM_ERROR: throw EZCompressionError("insufficient memory");
    case Z_BUF_ERROR: throw EZCompressionError("buffer error");
    case Z_VERSION_ERROR: throw EZCompressionError("incompatible version");
    default: throw EZCompressionError("zlib error");
  }
}

int Check(int Code) {
  if (Code < 0) RaiseCompressionError(Code);
  return Code;
}

// Row shapes beyond these are not images anyone wrote: the bytes pass unchanged.
constexpr int MaxPredictorColors = 256;
constexpr int MaxPredictorColumns = 1 << 24;

bool SaneRow(int Colors, int Columns) {
  return Colors > 0 && Columns > 0 && Colors <= MaxPredictorColors && Columns <= MaxPredictorColumns;
}

void UndoTiffPredictor(std::string& Bytes, size_t Colors, size_t Columns, int Bits) {
  // Rows are whole bytes; each component adds the one Colors before it in
  // its row, modulo its size.
  const size_t Row = (Colors * Columns * static_cast<size_t>(Bits) + 7) / 8;
  auto* P = reinterpret_cast<unsigned char*>(Bytes.data());
  // Bytes after the last whole row are kept as inflated.
  for (size_t Start = 0; Start + Row <= Bytes.size(); Start += Row) {
    unsigned char* R = P + Start;
    if (Bits == 8) {
      for (size_t J = Colors; J < Row; ++J) R[J] = static_cast<unsigned char>(R[J] + R[J - Colors]);
    } else if (Bits == 16) {
      for (size_t J = Colors; J < Colors * Columns; ++J) {
        const unsigned V = (R[2 * J] << 8 | R[2 * J + 1]) + (R[2 * (J - Colors)] << 8 | R[2 * (J - Colors) + 1]);
        R[2 * J] = static_cast<unsigned char>(V >> 8 & 0xFF);
        R[2 * J + 1] = static_cast<unsigned char>(V & 0xFF);
      }
    } else {
      const unsigned Mask = (1u << Bits) - 1;
      auto Get = [&](size_t I) {
        const size_t Bit = I * static_cast<size_t>(Bits);
        return static_cast<unsigned>(R[Bit / 8] >> (8 - Bits - Bit % 8)) & Mask;
      };
      auto Put = [&](size_t I, unsigned V) {
        const size_t Bit = I * static_cast<size_t>(Bits);
        const int Shift = static_cast<int>(8 - static_cast<size_t>(Bits) - Bit % 8);
        R[Bit / 8] = static_cast<unsigned char>((R[Bit / 8] & ~(Mask << Shift)) | (V & Mask) << Shift);
      };
      for (size_t J = Colors; J < Colors * Columns; ++J) Put(J, Get(J) + Get(J - Colors));
    }
  }
}

// Colors is the distance of "left" in bytes (a whole pixel, at least one
// byte); Count the bytes of a row.
std::string UndoPngPredictor(const std::string& In, size_t Colors, size_t Count) {
  const size_t Rows = In.size() / (Count + 1);
  std::string Out(Rows * Count, '\0');
  const auto* Src = reinterpret_cast<const unsigned char*>(In.data());
  auto* Dst = reinterpret_cast<unsigned char*>(Out.data());
  for (size_t R = 0; R < Rows; ++R) {
    const unsigned char Type = Src[R * (Count + 1)];
    const unsigned char* Row = Src + R * (Count + 1) + 1;
    unsigned char* O = Dst + R * Count;
    const unsigned char* Up = R ? O - Count : nullptr;
    // One loop per row type; Left is 0 for the first pixel, Up 0 in the first row.
    switch (Type) {
      case 1:
        for (size_t J = 0; J < Count; ++J) O[J] = static_cast<unsigned char>(Row[J] + (J >= Colors ? O[J - Colors] : 0));
        break;
      case 2:
        for (size_t J = 0; J < Count; ++J) O[J] = static_cast<unsigned char>(Row[J] + (Up ? Up[J] : 0));
        break;
      case 3:
        for (size_t J = 0; J < Count; ++J) {
          const int Left = J >= Colors ? O[J - Colors] : 0;
          const int Above = Up ? Up[J] : 0;
          O[J] = static_cast<unsigned char>(Row[J] + (Left + Above) / 2);
        }
        break;
      case 4:
        for (size_t J = 0; J < Count; ++J) {
          const int Left = J >= Colors ? O[J - Colors] : 0;
          const int Above = Up ? Up[J] : 0;
          const int UpLeft = Up && J >= Colors ? Up[J - Colors] : 0;
          const int P = Left + Above - UpLeft;
          const int PA = std::abs(P - Left), PB = std::abs(P - Above), PC = std::abs(P - UpLeft);
          O[J] = static_cast<unsigned char>(Row[J] + (PA <= PB && PA <= PC ? Left : PB <= PC ? Above : UpLeft));
        }
        break;
      default:  // None, and unknown types
        std::memcpy(O, Row, Count);
    }
  }
  return Out;
}

}  // namespace

std::string InflateBytes(std::string_view Data, size_t MaxOutput) {
  if (Data.empty() || MaxOutput == 0) return {};
  z_stream Z{};
  if (inflateInit(&Z) != Z_OK) return {};
  std::string Out;
  try {
    // Inflate through a fixed window and append: the string grows
    // geometrically, and nothing is zero-filled or copied twice.
    // (No bigger than the output allowed: the first bytes of many streams
    // are read cheaply.)
    const size_t Window = std::min<size_t>(256 * 1024, MaxOutput);
    std::unique_ptr<Bytef[]> Buf(new Bytef[Window]);
    Out.reserve(std::min((Data.size() + 255) / 256 * 256, MaxOutput));
    size_t InPos = 0;
    for (;;) {
      const size_t InChunk = std::min<size_t>(Data.size() - InPos, UINT_MAX);
      const size_t OutChunk = std::min(Window, MaxOutput - Out.size());
      Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data())) + InPos;
      Z.avail_in = static_cast<uInt>(InChunk);
      Z.next_out = Buf.get();
      Z.avail_out = static_cast<uInt>(OutChunk);
      const int Result = inflate(&Z, Z_NO_FLUSH);
      InPos += InChunk - Z.avail_in;
      Out.append(reinterpret_cast<const char*>(Buf.get()), OutChunk - Z.avail_out);
      // Stream end, no progress (truncated data), corrupt data, a preset
      // dictionary or any error: what was produced so far is the result.
      if (Result != Z_OK) break;
      if (Out.size() >= MaxOutput) break;  // the cap: as if the data ended here
    }
    inflateEnd(&Z);
    return Out;
  } catch (const std::bad_alloc&) {
    // Out of memory is no property of the data: the caller is told.
    inflateEnd(&Z);
    throw;
  }
}

std::string ApplyPredictor(std::string Inflated, int Predictor, int Colors, int BitsPerComponent, int Columns) {
  const int Bits = BitsPerComponent;
  if (Bits != 1 && Bits != 2 && Bits != 4 && Bits != 8 && Bits != 16) return Inflated;
  if (Predictor == 2) {
    if ((Colors == 1 || Colors == 3 || Colors == 4) && SaneRow(Colors, Columns))
      UndoTiffPredictor(Inflated, static_cast<size_t>(Colors), static_cast<size_t>(Columns), Bits);
    return Inflated;
  }
  if (Predictor >= 10) {
    if (!SaneRow(Colors, Columns)) return Inflated;
    const size_t PixelBits = static_cast<size_t>(Colors) * static_cast<size_t>(Bits);
    return UndoPngPredictor(Inflated, std::max<size_t>(1, PixelBits / 8),
                            (PixelBits * static_cast<size_t>(Columns) + 7) / 8);
  }
  return Inflated;
}

std::string InflateWithPredictor(std::string_view Data, int Predictor, int Colors, int BitsPerComponent,
                                 int Columns, size_t MaxOutput) {
  return ApplyPredictor(InflateBytes(Data, MaxOutput), Predictor, Colors, BitsPerComponent, Columns);
}

std::string DeflateBytes(std::string_view Data) {
  if (Data.empty() || Data.size() > UINT_MAX) return {};
  z_stream Z{};
  std::string Out;
  bool Started = false;
  try {
    size_t N = Data.size();
    size_t Size = (N + N / 10 + 12 + 255) / 256 * 256;
    Out.resize(Size);
    Check(deflateInit(&Z, Z_DEFAULT_COMPRESSION));
    Started = true;
    Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
    Z.avail_in = static_cast<uInt>(N);
    for (;;) {
      Z.next_out = reinterpret_cast<Bytef*>(Out.data()) + Z.total_out;
      Z.avail_out = static_cast<uInt>(Out.size() - Z.total_out);
      if (Check(deflate(&Z, Z_FINISH)) == Z_STREAM_END) break;
      Out.resize(Out.size() * 2);  // geometric growth: linear total work
    }
    Out.resize(Z.total_out);
    deflateEnd(&Z);
    return Out;
  } catch (const EZCompressionError&) {
    if (Started) deflateEnd(&Z);
    return {};
  } catch (const std::bad_alloc&) {
    if (Started) deflateEnd(&Z);
    return {};
  }
}
