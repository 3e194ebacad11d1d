// The zlib bridge.
#include "uPDFFlate.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

namespace {

std::string Uncompress(const std::string& Data, size_t Size) {
  std::string Out(Size, '\0');
  uLongf Len = Size;
  if (uncompress(reinterpret_cast<Bytef*>(Out.data()), &Len, reinterpret_cast<const Bytef*>(Data.data()),
                 Data.size()) != Z_OK)
    return "<error>";
  Out.resize(Len);
  return Out;
}

TEST(DeflateBytes, ZlibFormatRoundTrip) {
  EXPECT_EQ(DeflateBytes(""), "");
  std::string Random;
  uint32_t X = 12345;
  for (int I = 0; I < 200000; ++I) {
    X = X * 1103515245 + 12345;
    Random += static_cast<char>(X >> 24);
  }
  // Incompressible data needs more room than the first buffer.
  for (const std::string& Plain : {std::string("a"), std::string(100000, 'z'), Random}) {
    std::string Packed = DeflateBytes(Plain);
    ASSERT_GE(Packed.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(Packed[0]) & 0x0F, 8);  // zlib header: deflate
    EXPECT_EQ(Uncompress(Packed, Plain.size()), Plain);
  }
}

}  // namespace
