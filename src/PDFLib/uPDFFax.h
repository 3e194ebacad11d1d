// CCITT fax decoding (modified Huffman, group 3 and group 4 rows) for the image reader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How the rows of fax data are coded: the CCITTFaxDecode parameters that
// matter to the decoder.
struct TFaxParams {
  // < 0: every row two-dimensional (group 4); 0: every row one-dimensional
  // (modified Huffman); > 0: each row says which, by a tag bit.
  int32_t K = 0;
  int32_t Columns = 1728;
  int32_t Rows = 0;
  // Each row starts on a byte boundary (the zero bits before it are
  // skipped); with EOLs, the zero fill bits before each EOL make it end on
  // one.
  bool EncodedByteAlign = false;
  // Each row comes after an EOL. Without it, EOLs are still accepted where
  // a row begins.
  bool EndOfLine = false;
};

// Decodes fax Data into Bits: P.Rows rows of (P.Columns + 7) / 8 bytes,
// top row first, 1 bits for black (the codes' own convention), zero bits
// past the last column. Rows end at the end of the block (two EOLs, or six
// for group 3), where the data run out or at a code that does not fit: the
// rows before that are kept and the rest stay white, and the result is
// still true. False, with Error, only for a size of no pixels. Every read
// stays inside Data, and the work is bounded by the bitmap's size and the
// data's length. Never throws but std::bad_alloc.
bool DecodeFaxRows(std::string_view Data, const TFaxParams& P, std::string& Bits, std::string& Error);

// Whether fax Data begin with an EOL (eleven zero bits or more, then a one),
// as rows coded after EOLs do.
bool FaxDataBeginWithEOL(std::string_view Data);
