// Bridge to zlib: inflate (with the TIFF and PNG predictors) and deflate of
// zlib-format data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// Raised inside the deflate bridge for a negative zlib result; never leaves it.
class EZCompressionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// zlib-format inflate. Truncated or corrupt data give the bytes inflated before
// the fault (nothing when the header is wrong, as for a raw deflate body);
// output stops at MaxOutput bytes as if the data ended there. Throws only
// std::bad_alloc, when memory runs out.
std::string InflateBytes(std::string_view Data, size_t MaxOutput = SIZE_MAX);

// Inflates Data, then undoes a TIFF (2) or PNG (10 and up) predictor for
// components of 1, 2, 4, 8 or 16 bits (rows of whole bytes; a PNG pixel's
// "left" a whole pixel back, at least one byte). Other predictors, other
// component sizes and row shapes that make no sense (Colors or Columns of 0
// or below, or absurdly large) give the inflated bytes unchanged.
std::string InflateWithPredictor(std::string_view Data, int Predictor, int Colors, int BitsPerComponent,
                                 int Columns, size_t MaxOutput = SIZE_MAX);

// Undoes a predictor on already inflated bytes; the second half of
// InflateWithPredictor.
std::string ApplyPredictor(std::string Inflated, int Predictor, int Colors, int BitsPerComponent, int Columns);

// zlib-format deflate at zlib's default level; empty for empty input or on
// any zlib error.
std::string DeflateBytes(std::string_view Data);
