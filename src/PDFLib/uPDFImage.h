// Images a page draws: image XObjects and inline images decoded to 8-bit
// gray or RGB pixels, whatever their filter, colour space and sample size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TPDFDictionary;
class TPDFPageBudget;
class TPDFStream;
class TPDFStructure;

// Decoded pixels: Height rows, top row first, of Width pixels of Components
// bytes each (1: gray, 3: red, green, blue); 0 is black, 255 full intensity.
struct TPDFImage {
  int32_t Width = 0;
  int32_t Height = 0;
  int Components = 0;
  std::string Pixels;
};

// Bounds that keep a hostile image from taking the machine: its pixel count
// (width times height, as the dictionary or the coded data declares it), and
// the bytes of any one decoding step (the filters' output, the samples, the
// pixels).
struct TPDFImageLimits {
  uint64_t MaxPixels = uint64_t{64} << 20;
  size_t MaxBytes = size_t{256} << 20;
};

// An image, or why there is none (Error, for the log: "JPEG: ...", "too
// large: 90000 x 90000 pixels").
struct TPDFImageResult {
  TPDFImage Image;
  std::string Error;
  bool Ok() const { return Error.empty(); }
};

// Decodes image XObject Stream: its /Filter chain (the stream filters, then
// DCTDecode, JPXDecode, JBIG2Decode with its /JBIG2Globals or
// CCITTFaxDecode), its samples of 1 to 16 bits per component through
// /Decode and its colour space (DeviceGray, DeviceRGB, DeviceCMYK, CalGray,
// CalRGB, Lab by its lightness, ICCBased by its /N, Indexed over any of these
// with its lookup as a string or a stream, Separation and DeviceN with the
// tint as gray). A stencil mask (/ImageMask) paints Fill where it marks and
// leaves white elsewhere. /SMask and /Mask are not applied. Resources name
// the colour spaces an inline image refers to by name; may be null. Never
// throws for bad data: a fault in the coded data gives what was decoded
// before it, or the cause.
TPDFImageResult DecodeImage(const TPDFStream& Stream, const TPDFDictionary* Resources = nullptr,
                            const TPDFImageLimits& Limits = {}, std::array<uint8_t, 3> Fill = {0, 0, 0});

// An inline image as its stream: the dictionary text between BI and ID (keys
// and filter and colour space names abbreviated or not) and the bytes
// between ID and EI, as a stream of Structure with every abbreviation
// written out. Null when the dictionary cannot be read.
TPDFStream* InlineImageStream(TPDFStructure& Structure, std::string_view DictionaryText, std::string_view Data);

// Finds where an inline image ends, from its dictionary's tokens as a
// content reader splits them after BI, and the content they stand in.
class TPDFInlineImageScan {
 public:
  // Takes the dictionary's next token; false for ID, which the data follow
  // after one white-space byte.
  bool Take(std::string_view Token);

  // The data that start at DataStart of Content: DataEnd is where they end
  // (before the EI that ends them, and the white space in front of it), End
  // just past that EI; both are Content's size when no EI is found. The EI
  // is the one where the data's own length or JPEG markers lead, else the
  // first "EI" followed by white space. The bytes walked on the way (JPEG
  // markers, white space) are counted in Budget's content bytes when it is
  // given: the data of one image may run on over those of a thousand more,
  // each walked again. Once it is spent the rest of Content is taken.
  struct TEnd {
    size_t DataEnd = 0;
    size_t End = 0;
  };
  TEnd Find(std::string_view Content, size_t DataStart, TPDFPageBudget* Budget = nullptr) const;

 private:
  // Find's search; Walk(Bytes) counts bytes walked and is false once the
  // budget is spent.
  template <typename TWalk>
  TEnd Locate(std::string_view Content, size_t DataStart, TWalk& Walk) const;

  std::string FKey;
  bool FInFilters = false;
  double FWidth = 0, FHeight = 0, FBits = 8;
  int FComponents = 1;
  bool FMask = false, FDCT = false, FOtherFilter = false;
};

// Image turned clockwise by Turns quarter turns (0 to 3; others by their
// remainder): a quarter turn makes its left column its top row. Mirrored,
// its columns are first taken right to left.
TPDFImage TurnImage(const TPDFImage& Image, int Turns, bool Mirrored = false);
