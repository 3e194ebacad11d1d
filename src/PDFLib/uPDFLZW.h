// LZW expansion for the /LZWDecode stream filter and the image readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Expands LZW-compressed bytes. Codes are InitialWidth bits wide at the start
// and after every clear code and grow to at most 12 bits; the clear code is
// 2^(InitialWidth - 1), the end-of-data code the one above it, and the table
// holds 4096 entries (from 4095 on, every further entry replaces entry 4095
// until a clear code comes). Set the three settings, then call Decode; a
// decompressor keeps no state between calls.
// One thread at a time.
class TPDFLZWDecompressor {
 public:
  // Codes are packed most significant bit first; false selects least
  // significant bit first. The stream filter always packs MSB first.
  bool MsbFirst = true;
  // The code width grows one code early (the /EarlyChange 1 convention): a
  // width of w bits grows when the entry for code 2^w - 2 is made rather than
  // 2^w - 1 (510 rather than 511 for 9 bits).
  bool EarlyChange = false;
  // Code width at the start and after each clear code, 2 to 12 bits (9 for the
  // stream filter).
  int InitialWidth = 9;

  // Decoded bytes of Data. Never throws and never fails on bad data: a code
  // beyond the table is taken as the not-yet-defined code, and the data end at
  // the end-of-data code or where the input runs out. Past the input's last
  // byte the bits read as zero, and codes are still read while they start in
  // the first byte after it (in the first two with LSB-first packing), so a
  // stream without an end-of-data code may end in a code or two of zero bits.
  // Output stops after MaxOutput bytes as if the input had been cut there. An
  // InitialWidth outside 2..12 gives the empty result; running out of memory
  // throws std::bad_alloc.
  std::string Decode(std::string_view Data, size_t MaxOutput = SIZE_MAX) const;
};
