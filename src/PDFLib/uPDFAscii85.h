// ASCII base-85 decoding for the /ASCII85Decode stream filter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Bytes of the base-85 text Data. Digits are the bytes "!" to "u" (">" among
// them); "z" stands for the five digits "!!!!!" wherever it appears, even inside
// a group; every other byte except "~" is skipped. The digits must end with
// "~>", or the result is empty; a "~" before that end counts as a digit of
// value 93. Each group of five digits gives four bytes (four zero bytes when its
// value exceeds 32 bits); a final group of n = 2..4 digits gives n - 1 bytes,
// a single left-over digit nothing. Output stops after MaxOutput bytes as if
// the text had been cut there. Running out of memory throws std::bad_alloc
// (the caller is told: it is no property of the data).
std::string DecodeASCII85(std::string_view Data, size_t MaxOutput = SIZE_MAX);
