// ASCII hexadecimal and run-length decoding for the /ASCIIHexDecode and
// /RunLengthDecode stream filters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Bytes of the hexadecimal text Data: each two hexadecimal digits (either
// letter case) give one byte, white space and every other byte that is no
// digit are skipped, and ">" ends the data (so does the end of Data). A final
// lone digit counts as if a "0" followed it. Output stops after MaxOutput
// bytes. Throws only std::bad_alloc, when memory runs out.
std::string DecodeASCIIHex(std::string_view Data, size_t MaxOutput = SIZE_MAX);

// Bytes of the run-length data Data: a length byte L of 0 to 127 is followed
// by L + 1 bytes copied as they are; L of 129 to 255 by one byte repeated
// 257 - L times; 128 ends the data (so does the end of Data). A run cut short
// by the end of Data gives the bytes it has. Output stops after MaxOutput
// bytes. Throws only std::bad_alloc, when memory runs out.
std::string DecodeRunLength(std::string_view Data, size_t MaxOutput = SIZE_MAX);
