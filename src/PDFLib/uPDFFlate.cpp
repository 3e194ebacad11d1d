// Bridge to zlib: inflate and deflate of zlib-format data.
#include "uPDFFlate.h"

#include <zlib.h>

#include <climits>

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

}  // namespace

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
