// Bridge to zlib: inflate and deflate of zlib-format data.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// Raised inside the deflate bridge for a negative zlib result; never leaves it.
class EZCompressionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// zlib-format deflate at zlib's default level; empty for empty input or on
// any zlib error.
std::string DeflateBytes(std::string_view Data);
