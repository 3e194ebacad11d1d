// Images a page draws, decoded to 8-bit gray or RGB pixels.
#include "uPDFImage.h"

#include <openjpeg.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "uPDFBudget.h"
#include "uPDFExtra.h"
#include "uPDFFax.h"
#include "uPDFStructure.h"

// Last: it defines "inline" away when it finds no definition, which C++
// headers included after it would not survive.
#include <jbig2.h>
#undef inline

namespace {

TPDFObject* Resolved(TPDFObject* Obj) {
  auto* Ref = As<TPDFIndRef>(Obj);
  return Ref ? Ref->Resolve() : Obj;
}

double NumberOf(TPDFObject* Obj, double Default) {
  auto* N = As<TPDFNumeric>(Resolved(Obj));
  return N ? N->Value() : Default;
}

bool BoolOf(TPDFObject* Obj, bool Default) {
  auto* B = As<TPDFBoolean>(Resolved(Obj));
  return B ? B->Value() : Default;
}

std::string Pixels(int32_t W, int32_t H) {
  return std::to_string(W) + " x " + std::to_string(H) + " pixels";
}

// ---------------------------------------------------------------- colour spaces

// A colour space as the pixels need it: how many components a sample has
// and how its values (after /Decode) become gray or RGB bytes.
struct TSpace {
  enum TKind { Gray, RGB, CMYK, Lab, Tint, Indexed } Kind = Gray;
  int N = 1;
  // Indexed: the colour of each index up to HiVal, gray when every base
  // colour is (or the base is one-component).
  int HiVal = 0;
  bool PaletteGray = true;
  std::vector<std::array<uint8_t, 3>> Palette;

  int OutComponents() const {
    switch (Kind) {
      case RGB: case CMYK: return 3;
      case Indexed: return PaletteGray ? 1 : 3;
      default: return 1;
    }
  }
};

uint8_t Byte(double V) {
  const double B = std::nearbyint(V * 255);
  return static_cast<uint8_t>(std::isnan(B) ? 0.0 : std::clamp(B, 0.0, 255.0));
}

// The colour of component values C (Space.N of them, in the space's range).
std::array<uint8_t, 3> ColourOf(const TSpace& Space, const double* C) {
  switch (Space.Kind) {
    case TSpace::Gray: {
      const uint8_t G = Byte(C[0]);
      return {G, G, G};
    }
    case TSpace::RGB: return {Byte(C[0]), Byte(C[1]), Byte(C[2])};
    case TSpace::CMYK: {
      const double K = std::clamp(C[3], 0.0, 1.0);
      auto Part = [K](double V) { return 1 - std::min(K + (1 - K) * std::clamp(V, 0.0, 1.0), 1.0); };
      return {Byte(Part(C[0])), Byte(Part(C[1])), Byte(Part(C[2]))};
    }
    case TSpace::Lab: {
      const uint8_t G = Byte(C[0] / 100);
      return {G, G, G};
    }
    case TSpace::Tint: {
      // The strongest colorant, as gray: no tint is white, full tint black.
      double T = 0;
      for (int I = 0; I < Space.N; ++I) T = std::max(T, C[I]);
      const uint8_t G = Byte(1 - T);
      return {G, G, G};
    }
    case TSpace::Indexed: {
      const double I = std::nearbyint(C[0]);
      const int Index = std::isnan(I) ? 0 : static_cast<int>(std::clamp(I, 0.0, static_cast<double>(Space.HiVal)));
      return Space.Palette[static_cast<size_t>(Index)];
    }
  }
  return {0, 0, 0};
}

constexpr int MaxSpaceDepth = 8;
constexpr int MaxDeviceN = 32;

// Reads colour space Obj (a name, or an array headed by its family);
// Resources resolve other names. False, with Error set, for a space the
// pixels cannot come from (Pattern, an unknown name).
bool ReadSpace(TPDFObject* Obj, const TPDFDictionary* Resources, TSpace& Space, std::string& Error, int Depth = 0) {
  Obj = Resolved(Obj);
  if (Depth > MaxSpaceDepth) {
    Error = "colour spaces nest too deep";
    return false;
  }
  auto Device = [&](const std::string& Name) -> bool {
    if (Name == "DeviceGray" || Name == "G" || Name == "CalGray") Space.Kind = TSpace::Gray, Space.N = 1;
    else if (Name == "DeviceRGB" || Name == "RGB" || Name == "CalRGB") Space.Kind = TSpace::RGB, Space.N = 3;
    else if (Name == "DeviceCMYK" || Name == "CMYK") Space.Kind = TSpace::CMYK, Space.N = 4;
    else return false;
    return true;
  };
  if (auto* Name = As<TPDFName>(Obj)) {
    if (Device(Name->Value())) return true;
    auto* Named = Resources ? As<TPDFDictionary>(Resources->GetValue("ColorSpace", true)) : nullptr;
    TPDFObject* Entry = Named ? Named->GetValue(Name->Value(), true) : nullptr;
    if (!Entry || Entry == Obj) {
      Error = "colour space /" + Name->Value() + " is not known";
      return false;
    }
    return ReadSpace(Entry, Resources, Space, Error, Depth + 1);
  }
  auto* A = As<TPDFArray>(Obj);
  auto* Family = A ? As<TPDFName>(Resolved(A->GetItem(0))) : nullptr;
  if (!Family) {
    Error = "no colour space";
    return false;
  }
  const std::string& F = Family->Value();
  if (Device(F)) return true;
  if (F == "Lab") {
    Space.Kind = TSpace::Lab;
    Space.N = 3;
    return true;
  }
  if (F == "ICCBased") {
    auto* Profile = As<TPDFStream>(Resolved(A->GetItem(1)));
    const int32_t N = Profile ? Profile->Dictionary()->GetInteger("N", 0) : 0;
    if (N == 1 || N == 3 || N == 4) return Device(N == 1 ? "DeviceGray" : N == 3 ? "DeviceRGB" : "DeviceCMYK");
    if (Profile)
      if (TPDFObject* Alternate = Profile->Dictionary()->GetValue("Alternate", true))
        return ReadSpace(Alternate, Resources, Space, Error, Depth + 1);
    Error = "an ICC profile without a component count";
    return false;
  }
  if (F == "Separation") {
    Space.Kind = TSpace::Tint;
    Space.N = 1;
    return true;
  }
  if (F == "DeviceN") {
    auto* Names = As<TPDFArray>(Resolved(A->GetItem(1)));
    if (!Names || Names->Count() < 1 || Names->Count() > MaxDeviceN) {
      Error = "DeviceN without its colorant names";
      return false;
    }
    Space.Kind = TSpace::Tint;
    Space.N = Names->Count();
    return true;
  }
  if (F == "Indexed" || F == "I") {
    TSpace Base;
    if (!ReadSpace(A->GetItem(1), Resources, Base, Error, Depth + 1)) return false;
    if (Base.Kind == TSpace::Indexed) {
      Error = "an indexed space over an indexed one";
      return false;
    }
    Space.Kind = TSpace::Indexed;
    Space.N = 1;
    const double Hi = NumberOf(A->GetItem(2), 0);
    Space.HiVal = static_cast<int>(std::clamp(std::isnan(Hi) ? 0.0 : Hi, 0.0, 255.0));
    std::string Lookup;
    TPDFObject* L = Resolved(A->GetItem(3));
    if (auto* S = As<TPDFString>(L)) Lookup = S->Value();
    else if (auto* St = As<TPDFStream>(L)) Lookup = St->GetDecodedData(size_t{256} * MaxDeviceN);
    // A lookup table cut short gives black for the missing entries.
    Space.Palette.assign(static_cast<size_t>(Space.HiVal) + 1, {0, 0, 0});
    Space.PaletteGray = true;
    double C[MaxDeviceN];
    for (int I = 0; I <= Space.HiVal; ++I) {
      for (int K = 0; K < Base.N; ++K) {
        const size_t At = static_cast<size_t>(I) * static_cast<size_t>(Base.N) + static_cast<size_t>(K);
        const double V = At < Lookup.size() ? static_cast<uint8_t>(Lookup[At]) / 255.0 : 0;
        // Lab's lookup bytes span L 0..100 (a and b do not matter for gray).
        C[K] = Base.Kind == TSpace::Lab && K == 0 ? V * 100 : V;
      }
      Space.Palette[static_cast<size_t>(I)] = ColourOf(Base, C);
      const auto& P = Space.Palette[static_cast<size_t>(I)];
      if (P[0] != P[1] || P[1] != P[2]) Space.PaletteGray = false;
    }
    return true;
  }
  Error = "colour space /" + F + " holds no image colours";
  return false;
}

// ---------------------------------------------------------------- coded data

// What a decoder of coded data gives: samples of Bits bits (rows
// byte-aligned), N components per pixel, Width x Height pixels.
struct TSamples {
  std::string Data;
  int32_t Width = 0, Height = 0;
  int N = 1;
  int Bits = 8;
  // Set when the decoder knows a JPEG stored inverted CMYK.
  bool AdobeCMYK = false;
};

bool WithinLimits(int64_t W, int64_t H, const TPDFImageLimits& Limits, std::string& Error) {
  if (W <= 0 || H <= 0) {
    Error = "no pixels (" + std::to_string(W) + " x " + std::to_string(H) + ")";
    return false;
  }
  if (W > INT32_MAX || H > INT32_MAX || static_cast<uint64_t>(W) * static_cast<uint64_t>(H) > Limits.MaxPixels) {
    Error = "too large: " + std::to_string(W) + " x " + std::to_string(H) + " pixels";
    return false;
  }
  return true;
}

// Whether JPEG data hold an Adobe APP14 segment (the markers before the
// first scan are walked).
bool HasAdobeMarker(std::string_view J) {
  size_t P = 2;
  while (P + 4 <= J.size()) {
    if (static_cast<uint8_t>(J[P]) != 0xFF) return false;
    const uint8_t Marker = static_cast<uint8_t>(J[P + 1]);
    if (Marker == 0xFF) {
      ++P;
      continue;
    }
    if (Marker == 0xDA || Marker == 0xD9) return false;
    const size_t Length = static_cast<uint8_t>(J[P + 2]) << 8 | static_cast<uint8_t>(J[P + 3]);
    if (Marker == 0xEE && Length >= 7 && P + 9 <= J.size() && J.compare(P + 4, 5, "Adobe") == 0) return true;
    P += 2 + Length;
  }
  return false;
}

bool DecodeDCT(std::string_view Data, const TPDFImageLimits& Limits, TSamples& Out, std::string& Error) {
  tjhandle H = tjInitDecompress();
  if (!H) {
    Error = "JPEG: no decoder";
    return false;
  }
  struct TFree {
    tjhandle H;
    ~TFree() { tjDestroy(H); }
  } Free{H};
  auto* Bytes = reinterpret_cast<const unsigned char*>(Data.data());
  int W = 0, Ht = 0, Subsamp = 0, Space = 0;
  if (Data.size() > ULONG_MAX ||
      tjDecompressHeader3(H, Bytes, static_cast<unsigned long>(Data.size()), &W, &Ht, &Subsamp, &Space) != 0) {
    Error = std::string("JPEG: ") + tjGetErrorStr2(H);
    return false;
  }
  if (!WithinLimits(W, Ht, Limits, Error)) {
    Error = "JPEG: " + Error;
    return false;
  }
  int Format = TJPF_RGB;
  Out.N = 3;
  if (Space == TJCS_GRAY) Format = TJPF_GRAY, Out.N = 1;
  else if (Space == TJCS_CMYK || Space == TJCS_YCCK) Format = TJPF_CMYK, Out.N = 4;
  const size_t Size = static_cast<size_t>(W) * static_cast<size_t>(Ht) * static_cast<size_t>(Out.N);
  if (Size > Limits.MaxBytes) {
    Error = "JPEG: too large: " + Pixels(W, Ht);
    return false;
  }
  Out.Data.assign(Size, '\0');
  // Warnings (data cut short, a bad marker) leave a usable image.
  if (tjDecompress2(H, Bytes, static_cast<unsigned long>(Data.size()), reinterpret_cast<unsigned char*>(Out.Data.data()),
                    W, 0, Ht, Format, TJFLAG_LIMITSCANS) != 0 &&
      tjGetErrorCode(H) != TJERR_WARNING) {
    Error = std::string("JPEG: ") + tjGetErrorStr2(H);
    return false;
  }
  Out.Width = W;
  Out.Height = Ht;
  Out.Bits = 8;
  Out.AdobeCMYK = Out.N == 4 && HasAdobeMarker(Data);
  return true;
}

// ------------------------------------------------ JPEG 2000

struct TMemoryReader {
  std::string_view Data;
  size_t Pos = 0;
};

OPJ_SIZE_T JpxRead(void* Buffer, OPJ_SIZE_T Count, void* User) {
  auto* R = static_cast<TMemoryReader*>(User);
  if (R->Pos >= R->Data.size()) return static_cast<OPJ_SIZE_T>(-1);
  const size_t N = std::min<size_t>(Count, R->Data.size() - R->Pos);
  std::memcpy(Buffer, R->Data.data() + R->Pos, N);
  R->Pos += N;
  return N;
}

OPJ_OFF_T JpxSkip(OPJ_OFF_T Count, void* User) {
  auto* R = static_cast<TMemoryReader*>(User);
  if (Count < 0) {
    const size_t Back = std::min<size_t>(static_cast<size_t>(-Count), R->Pos);
    R->Pos -= Back;
    return -static_cast<OPJ_OFF_T>(Back);
  }
  const size_t N = std::min<size_t>(static_cast<size_t>(Count), R->Data.size() - std::min(R->Pos, R->Data.size()));
  R->Pos += N;
  return static_cast<OPJ_OFF_T>(N);
}

OPJ_BOOL JpxSeek(OPJ_OFF_T To, void* User) {
  auto* R = static_cast<TMemoryReader*>(User);
  if (To < 0 || static_cast<uint64_t>(To) > R->Data.size()) return OPJ_FALSE;
  R->Pos = static_cast<size_t>(To);
  return OPJ_TRUE;
}

void JpxQuiet(const char*, void*) {}

// The image's components at 8 bits; an index into a palette (Indexed)
// keeps its value, as any scaling would point at another entry.
bool DecodeJPX(std::string_view Data, bool Indexed, const TPDFImageLimits& Limits, TSamples& Out, std::string& Error) {
  static constexpr unsigned char JP2Signature[] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' '};
  const bool JP2 = Data.size() >= 8 && std::memcmp(Data.data(), JP2Signature, 8) == 0;
  const bool J2K = Data.size() >= 2 && static_cast<uint8_t>(Data[0]) == 0xFF && static_cast<uint8_t>(Data[1]) == 0x4F;
  if (!JP2 && !J2K) {
    Error = "JPEG 2000: not a JP2 file or codestream";
    return false;
  }
  opj_codec_t* Codec = opj_create_decompress(JP2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
  opj_stream_t* Stream = opj_stream_create(64 * 1024, OPJ_TRUE);
  opj_image_t* Image = nullptr;
  struct TFree {
    opj_codec_t*& C;
    opj_stream_t*& S;
    opj_image_t*& I;
    ~TFree() {
      if (I) opj_image_destroy(I);
      if (S) opj_stream_destroy(S);
      if (C) opj_destroy_codec(C);
    }
  } Free{Codec, Stream, Image};
  if (!Codec || !Stream) {
    Error = "JPEG 2000: no decoder";
    return false;
  }
  TMemoryReader Reader{Data, 0};
  opj_stream_set_read_function(Stream, JpxRead);
  opj_stream_set_skip_function(Stream, JpxSkip);
  opj_stream_set_seek_function(Stream, JpxSeek);
  opj_stream_set_user_data(Stream, &Reader, nullptr);
  opj_stream_set_user_data_length(Stream, Data.size());
  opj_set_error_handler(Codec, JpxQuiet, nullptr);
  opj_set_warning_handler(Codec, JpxQuiet, nullptr);
  opj_set_info_handler(Codec, JpxQuiet, nullptr);
  opj_dparameters_t Parameters;
  opj_set_default_decoder_parameters(&Parameters);
  if (!opj_setup_decoder(Codec, &Parameters) || !opj_read_header(Stream, Codec, &Image) || !Image) {
    Error = "JPEG 2000: the header cannot be read";
    return false;
  }
  const int64_t W = static_cast<int64_t>(Image->x1) - Image->x0, H = static_cast<int64_t>(Image->y1) - Image->y0;
  if (!WithinLimits(W, H, Limits, Error)) {
    Error = "JPEG 2000: " + Error;
    return false;
  }
  if (Image->numcomps < 1) {
    Error = "JPEG 2000: no components";
    return false;
  }
  // Four components at most are read (an alpha channel, beyond, is not);
  // the library holds 4 bytes per sample of every component.
  const uint32_t Comps = Image->numcomps;
  if (static_cast<uint64_t>(W) * static_cast<uint64_t>(H) * Comps * 4 > uint64_t{4} * Limits.MaxBytes) {
    Error = "JPEG 2000: too large: " + Pixels(static_cast<int32_t>(W), static_cast<int32_t>(H));
    return false;
  }
  if (!opj_decode(Codec, Stream, Image) || !opj_end_decompress(Codec, Stream)) {
    Error = "JPEG 2000: the data cannot be decoded";
    return false;
  }
  // One gray, three colour, four CMYK components; two are gray and alpha.
  const int N = Comps >= 4 ? 4 : Comps == 3 ? 3 : 1;
  for (int C = 0; C < N; ++C) {
    const opj_image_comp_t& Comp = Image->comps[C];
    if (!Comp.data || Comp.w == 0 || Comp.h == 0 || Comp.dx == 0 || Comp.dy == 0 || Comp.prec < 1 || Comp.prec > 31) {
      Error = "JPEG 2000: a component without samples";
      return false;
    }
  }
  Out.Width = static_cast<int32_t>(W);
  Out.Height = static_cast<int32_t>(H);
  Out.N = N;
  Out.Bits = 8;
  Out.Data.assign(static_cast<size_t>(W) * static_cast<size_t>(H) * static_cast<size_t>(N), '\0');
  for (int C = 0; C < N; ++C) {
    const opj_image_comp_t& Comp = Image->comps[C];
    const int64_t Offset = Comp.sgnd ? int64_t{1} << (Comp.prec - 1) : 0;
    const double Scale = Indexed && N == 1 ? 1.0 : 255.0 / static_cast<double>((int64_t{1} << Comp.prec) - 1);
    for (int64_t Y = 0; Y < H; ++Y) {
      const uint32_t CY = std::min<uint32_t>(static_cast<uint32_t>(Y / Comp.dy), Comp.h - 1);
      for (int64_t X = 0; X < W; ++X) {
        const uint32_t CX = std::min<uint32_t>(static_cast<uint32_t>(X / Comp.dx), Comp.w - 1);
        const int64_t V = static_cast<int64_t>(Comp.data[static_cast<size_t>(CY) * Comp.w + CX]) + Offset;
        Out.Data[static_cast<size_t>((Y * W + X) * N + C)] =
            static_cast<char>(static_cast<uint8_t>(std::clamp(std::nearbyint(static_cast<double>(V) * Scale), 0.0, 255.0)));
      }
    }
  }
  return true;
}

// ------------------------------------------------ JBIG2

// jbig2dec's memory, counted against the limit.
struct TJbig2Memory {
  Jbig2Allocator Base;
  size_t Used = 0;
  size_t Cap = 0;
};

void* Jbig2Alloc(Jbig2Allocator* A, size_t Size) {
  auto* M = reinterpret_cast<TJbig2Memory*>(A);
  if (Size > M->Cap - std::min(M->Used, M->Cap)) return nullptr;
  auto* P = static_cast<size_t*>(std::malloc(Size + sizeof(size_t) * 2));
  if (!P) return nullptr;
  P[0] = Size;
  M->Used += Size;
  return P + 2;
}

void Jbig2Free(Jbig2Allocator* A, void* Ptr) {
  if (!Ptr) return;
  auto* M = reinterpret_cast<TJbig2Memory*>(A);
  auto* P = static_cast<size_t*>(Ptr) - 2;
  M->Used -= std::min(M->Used, P[0]);
  std::free(P);
}

void* Jbig2Realloc(Jbig2Allocator* A, void* Ptr, size_t Size) {
  if (!Ptr) return Jbig2Alloc(A, Size);
  const size_t Old = (static_cast<size_t*>(Ptr) - 2)[0];
  void* New = Jbig2Alloc(A, Size);
  if (!New) return nullptr;
  std::memcpy(New, Ptr, std::min(Old, Size));
  Jbig2Free(A, Ptr);
  return New;
}

void Jbig2Quiet(void*, const char*, Jbig2Severity, uint32_t) {}

bool DecodeJBIG2(std::string_view Data, std::string_view Globals, const TPDFImageLimits& Limits, TSamples& Out,
                 std::string& Error) {
  TJbig2Memory Memory;
  Memory.Base = {Jbig2Alloc, Jbig2Free, Jbig2Realloc};
  Memory.Cap = Limits.MaxBytes;
  Jbig2GlobalCtx* Global = nullptr;
  if (!Globals.empty()) {
    Jbig2Ctx* G = jbig2_ctx_new(&Memory.Base, JBIG2_OPTIONS_EMBEDDED, nullptr, Jbig2Quiet, nullptr);
    if (G) {
      jbig2_data_in(G, reinterpret_cast<const unsigned char*>(Globals.data()), Globals.size());
      Global = jbig2_make_global_ctx(G);
    }
  }
  Jbig2Ctx* Ctx = jbig2_ctx_new(&Memory.Base, JBIG2_OPTIONS_EMBEDDED, Global, Jbig2Quiet, nullptr);
  struct TFree {
    Jbig2Ctx* C;
    Jbig2GlobalCtx* G;
    ~TFree() {
      if (C) jbig2_ctx_free(C);
      if (G) jbig2_global_ctx_free(G);
    }
  } Free{Ctx, Global};
  if (!Ctx) {
    Error = "JBIG2: no decoder";
    return false;
  }
  jbig2_data_in(Ctx, reinterpret_cast<const unsigned char*>(Data.data()), Data.size());
  jbig2_complete_page(Ctx);
  Jbig2Image* Page = jbig2_page_out(Ctx);
  if (!Page) {
    Error = "JBIG2: no page in the data";
    return false;
  }
  struct TRelease {
    Jbig2Ctx* C;
    Jbig2Image* I;
    ~TRelease() { jbig2_release_page(C, I); }
  } Release{Ctx, Page};
  if (!WithinLimits(Page->width, Page->height, Limits, Error)) {
    Error = "JBIG2: " + Error;
    return false;
  }
  const size_t RowBytes = (static_cast<size_t>(Page->width) + 7) / 8;
  if (Page->stride < RowBytes || !Page->data) {
    Error = "JBIG2: a page without its bitmap";
    return false;
  }
  Out.Width = static_cast<int32_t>(Page->width);
  Out.Height = static_cast<int32_t>(Page->height);
  Out.N = 1;
  Out.Bits = 1;
  Out.Data.resize(RowBytes * Page->height);
  // JBIG2 marks black with 1; the filter gives 0 for black, as gray samples do.
  for (uint32_t Y = 0; Y < Page->height; ++Y)
    for (size_t X = 0; X < RowBytes; ++X)
      Out.Data[Y * RowBytes + X] = static_cast<char>(~Page->data[static_cast<size_t>(Y) * Page->stride + X]);
  return true;
}

// ------------------------------------------------ CCITT fax

// libtiff's fax codec reads the data as the one strip of a TIFF file made
// in memory around them.
struct TTiffFile {
  std::string Bytes;
  toff_t Pos = 0;
};

tsize_t TiffRead(thandle_t H, tdata_t Buffer, tsize_t Size) {
  auto* F = static_cast<TTiffFile*>(H);
  if (Size <= 0 || F->Pos >= F->Bytes.size()) return 0;
  const size_t N = std::min<size_t>(static_cast<size_t>(Size), F->Bytes.size() - F->Pos);
  std::memcpy(Buffer, F->Bytes.data() + F->Pos, N);
  F->Pos += N;
  return static_cast<tsize_t>(N);
}
tsize_t TiffWrite(thandle_t, tdata_t, tsize_t) { return 0; }
toff_t TiffSeek(thandle_t H, toff_t Offset, int Whence) {
  auto* F = static_cast<TTiffFile*>(H);
  const toff_t Base = Whence == SEEK_CUR ? F->Pos : Whence == SEEK_END ? F->Bytes.size() : 0;
  F->Pos = Base + Offset;
  return F->Pos;
}
int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t H) { return static_cast<TTiffFile*>(H)->Bytes.size(); }
int TiffMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void TiffUnmap(thandle_t, tdata_t, toff_t) {}

void PutLE(std::string& S, uint32_t V, int Bytes) {
  for (int I = 0; I < Bytes; ++I) S += static_cast<char>(V >> (8 * I) & 0xFF);
}

// Out's Data, a fax bitmap of Columns x Rows as both fax decoders give it
// (1 marks black), as 1-bit gray samples: inverted unless BlackIs1.
void FaxSamples(TSamples& Out, int32_t Columns, int32_t Rows, bool BlackIs1) {
  if (!BlackIs1)
    for (char& B : Out.Data) B = static_cast<char>(~B);
  Out.Width = Columns;
  Out.Height = Rows;
  Out.N = 1;
  Out.Bits = 1;
}

// The fax-coded Data as 1-bit samples, Columns x Rows; 0 is black unless
// BlackIs1. Compression: 3 (group 3, with EOLs) or 4 (group 4).
bool DecodeFax(std::string_view Data, int Compression, uint32_t T4Options, int32_t Columns, int32_t Rows,
               bool BlackIs1, TSamples& Out, std::string& Error) {
  static std::once_flag Quiet;
  std::call_once(Quiet, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
  struct TEntry {
    uint16_t Tag, Type;
    uint32_t Value;
  };
  std::vector<TEntry> Entries = {{256, 4, static_cast<uint32_t>(Columns)},
                                 {257, 4, static_cast<uint32_t>(Rows)},
                                 {258, 3, 1},
                                 {259, 3, static_cast<uint32_t>(Compression)},
                                 {262, 3, 0},
                                 {266, 3, 1},
                                 {273, 4, 0},
                                 {277, 3, 1},
                                 {278, 4, static_cast<uint32_t>(Rows)},
                                 {279, 4, static_cast<uint32_t>(Data.size())}};
  if (Compression == 3) Entries.push_back({292, 4, T4Options});
  if (Compression == 4) Entries.push_back({293, 4, 0});
  const uint32_t DataOffset = static_cast<uint32_t>(8 + 2 + 12 * Entries.size() + 4);
  TTiffFile File;
  File.Bytes.reserve(DataOffset + Data.size());
  File.Bytes = "II*";
  File.Bytes += '\0';
  PutLE(File.Bytes, 8, 4);
  PutLE(File.Bytes, static_cast<uint32_t>(Entries.size()), 2);
  for (const TEntry& E : Entries) {
    PutLE(File.Bytes, E.Tag, 2);
    PutLE(File.Bytes, E.Type, 2);
    PutLE(File.Bytes, 1, 4);
    PutLE(File.Bytes, E.Tag == 273 ? DataOffset : E.Value, E.Type == 3 ? 2 : 4);
    if (E.Type == 3) PutLE(File.Bytes, 0, 2);
  }
  PutLE(File.Bytes, 0, 4);
  File.Bytes.append(Data);
  TIFF* Tif = TIFFClientOpen("fax", "rm", &File, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap, TiffUnmap);
  if (!Tif) {
    Error = "CCITT: the decoder cannot start";
    return false;
  }
  const size_t RowBytes = (static_cast<size_t>(Columns) + 7) / 8;
  Out.Data.assign(RowBytes * static_cast<size_t>(Rows), '\0');
  // Data that break off leave the rows decoded before the fault, and white.
  const tmsize_t Got = TIFFReadEncodedStrip(Tif, 0, Out.Data.data(), static_cast<tmsize_t>(Out.Data.size()));
  TIFFClose(Tif);
  (void)Got;
  FaxSamples(Out, Columns, Rows, BlackIs1);
  return true;
}

bool DecodeCCITT(std::string_view Data, const TPDFDictionary* Parms, int32_t Width, int32_t Height,
                 const TPDFImageLimits& Limits, TSamples& Out, std::string& Error) {
  auto Get = [&](const char* Key) { return Parms ? Parms->GetValue(Key, true) : nullptr; };
  const double K = NumberOf(Get("K"), 0);
  const double ColumnsValue = NumberOf(Get("Columns"), 1728);
  const double RowsValue = NumberOf(Get("Rows"), 0);
  const int64_t Columns = std::isnan(ColumnsValue) ? 0 : static_cast<int64_t>(std::clamp(ColumnsValue, -1.0, 1e10));
  int64_t Rows = std::isnan(RowsValue) ? 0 : static_cast<int64_t>(std::clamp(RowsValue, -1.0, 1e10));
  if (Height > 0) Rows = Height;  // the image's own height rules
  const bool Align = BoolOf(Get("EncodedByteAlign"), false);
  const bool BlackIs1 = BoolOf(Get("BlackIs1"), false);
  (void)Width;
  if (!WithinLimits(Columns, Rows, Limits, Error)) {
    Error = "CCITT: " + Error;
    return false;
  }
  if (Data.size() > UINT32_MAX - 4096) {
    Error = "CCITT: too much data";
    return false;
  }
  const auto C = static_cast<int32_t>(Columns), R = static_cast<int32_t>(Rows);
  const bool EndOfLine = BoolOf(Get("EndOfLine"), false);
  if (Align || (K >= 0 && !EndOfLine && !FaxDataBeginWithEOL(Data))) {
    // libtiff reads no byte-aligned group 4 rows, cannot tell aligned
    // modified Huffman rows with EOLs from those without, and reads group 3
    // rows only after EOLs.
    TFaxParams P;
    P.K = K < 0 ? -1 : K > 0 ? 1 : 0;
    P.Columns = C;
    P.Rows = R;
    P.EncodedByteAlign = Align;
    P.EndOfLine = EndOfLine;
    if (!DecodeFaxRows(Data, P, Out.Data, Error)) return false;
    FaxSamples(Out, C, R, BlackIs1);
    return true;
  }
  if (K < 0) return DecodeFax(Data, 4, 0, C, R, BlackIs1, Out, Error);
  // Group 3 with EOLs, one- or two-dimensional.
  return DecodeFax(Data, 3, K > 0 ? 1u : 0u, C, R, BlackIs1, Out, Error);
}

// ---------------------------------------------------------------- samples to pixels

// Sample I (0-based, N components of Bits bits per pixel) of a row.
inline uint32_t SampleAt(const uint8_t* Row, size_t I, int Bits) {
  switch (Bits) {
    case 8: return Row[I];
    case 16: return static_cast<uint32_t>(Row[2 * I]) << 8 | Row[2 * I + 1];
    case 1: return Row[I >> 3] >> (7 - (I & 7)) & 1;
    case 2: return Row[I >> 2] >> (6 - 2 * (I & 3)) & 3;
    case 4: return Row[I >> 1] >> (4 - 4 * (I & 1)) & 15;
    default: return 0;
  }
}

}  // namespace

TPDFImageResult DecodeImage(const TPDFStream& Stream, const TPDFDictionary* Resources, const TPDFImageLimits& Limits,
                            std::array<uint8_t, 3> Fill) {
  TPDFImageResult Result;
  std::string& Error = Result.Error;
  const TPDFDictionary* Dict = Stream.Dictionary();
  const double WValue = NumberOf(Dict->GetValue("Width", true), 0);
  const double HValue = NumberOf(Dict->GetValue("Height", true), 0);
  int64_t W = std::isnan(WValue) ? 0 : static_cast<int64_t>(std::clamp(WValue, -1.0, 1e10));
  int64_t H = std::isnan(HValue) ? 0 : static_cast<int64_t>(std::clamp(HValue, -1.0, 1e10));
  const bool Mask = BoolOf(Dict->GetValue("ImageMask", true), false);

  // The last filter, when it is one of the image codecs; the stream
  // decoder applies the ones before it and passes its bytes on.
  std::string Codec;
  const TPDFDictionary* CodecParms = nullptr;
  {
    TPDFObject* Filter = Dict->GetValue("Filter", true);
    TPDFObject* Parms = Dict->GetValue("DecodeParms", true);
    if (auto* Name = As<TPDFName>(Filter)) {
      Codec = Name->Value();
      CodecParms = As<TPDFDictionary>(Resolved(Parms));
      if (auto* A = As<TPDFArray>(Resolved(Parms)); A && A->Count() > 0) CodecParms = As<TPDFDictionary>(Resolved(A->GetItem(0)));
    } else if (auto* List = As<TPDFArray>(Filter); List && List->Count() > 0) {
      if (auto* Last = As<TPDFName>(Resolved(List->GetItem(List->Count() - 1)))) Codec = Last->Value();
      if (auto* A = As<TPDFArray>(Resolved(Parms))) CodecParms = As<TPDFDictionary>(Resolved(A->GetItem(List->Count() - 1)));
      else if (List->Count() == 1) CodecParms = As<TPDFDictionary>(Resolved(Parms));
    }
  }
  const bool DCT = Codec == "DCTDecode" || Codec == "DCT";
  const bool JPX = Codec == "JPXDecode";
  const bool JBIG2 = Codec == "JBIG2Decode";
  const bool CCITT = Codec == "CCITTFaxDecode" || Codec == "CCF";
  const bool Coded = DCT || JPX || JBIG2 || CCITT;

  // The dictionary's size is checked before anything is decoded (a coded
  // image checks the size its data declare as well).
  if (!Coded || W > 0 || H > 0)
    if (!WithinLimits(W, H, Limits, Error)) return Result;

  TSpace Space;
  const bool HasSpace = Dict->GetValue("ColorSpace", true) != nullptr;
  if (!Mask && HasSpace && !ReadSpace(Dict->GetValue("ColorSpace", true), Resources, Space, Error)) return Result;
  if (!Mask && !HasSpace && !JPX) {
    Error = "no colour space";
    return Result;
  }
  const double BitsValue = NumberOf(Dict->GetValue("BitsPerComponent", true), Mask ? 1 : 8);
  int Bits = Mask ? 1 : std::isnan(BitsValue) ? 0 : static_cast<int>(std::clamp(BitsValue, 0.0, 64.0));

  TSamples Samples;
  {
    std::string Data = Stream.GetDecodedData(Limits.MaxBytes);
    if (DCT) {
      if (!DecodeDCT(Data, Limits, Samples, Error)) return Result;
    } else if (JPX) {
      if (!DecodeJPX(Data, HasSpace && Space.Kind == TSpace::Indexed, Limits, Samples, Error)) return Result;
    } else if (JBIG2) {
      std::string Globals;
      if (CodecParms)
        if (auto* G = As<TPDFStream>(CodecParms->GetValue("JBIG2Globals", true))) Globals = G->GetDecodedData(Limits.MaxBytes);
      if (!DecodeJBIG2(Data, Globals, Limits, Samples, Error)) return Result;
    } else if (CCITT) {
      if (!DecodeCCITT(Data, CodecParms, static_cast<int32_t>(W), static_cast<int32_t>(H), Limits, Samples, Error))
        return Result;
    } else {
      Samples.Data = std::move(Data);
      Samples.Width = static_cast<int32_t>(W);
      Samples.Height = static_cast<int32_t>(H);
      Samples.N = Mask ? 1 : Space.N;
      Samples.Bits = Bits;
    }
  }
  if (Coded) {
    W = Samples.Width;
    H = Samples.Height;
    Bits = Samples.Bits;
    if (!WithinLimits(W, H, Limits, Error)) return Result;
    if (!Mask && (!HasSpace || Space.N != Samples.N)) {
      // The codec's own components rule when the dictionary's space does
      // not fit them (JPEG 2000 may carry its space in the data alone).
      if (!(Space.Kind == TSpace::Indexed && Samples.N == 1)) {
        Space = TSpace();
        Space.Kind = Samples.N == 1 ? TSpace::Gray : Samples.N == 3 ? TSpace::RGB : TSpace::CMYK;
        Space.N = Samples.N;
      }
    }
  }
  if (Bits != 1 && Bits != 2 && Bits != 4 && Bits != 8 && Bits != 16) {
    Error = "unsupported " + std::to_string(Bits) + " bits per component";
    return Result;
  }
  const int N = Mask ? 1 : Space.N;
  const size_t Width = static_cast<size_t>(W), Height = static_cast<size_t>(H);
  const size_t RowBytes = (Width * static_cast<size_t>(N) * static_cast<size_t>(Bits) + 7) / 8;
  if (RowBytes > Limits.MaxBytes / Height) {
    Error = "too large: " + Pixels(static_cast<int32_t>(W), static_cast<int32_t>(H));
    return Result;
  }
  // Samples cut short read as zero.
  if (Samples.Data.size() < RowBytes * Height) Samples.Data.resize(RowBytes * Height, '\0');

  // /Decode: the range each component's samples span (JPEG 2000 samples
  // keep their own).
  const uint32_t MaxSample = Bits == 16 ? 65535u : (1u << Bits) - 1;
  std::vector<double> Decode(static_cast<size_t>(2 * N));
  for (int C = 0; C < N; ++C) {
    Decode[2 * C] = 0;
    Decode[2 * C + 1] = !Mask && Space.Kind == TSpace::Indexed ? MaxSample : Space.Kind == TSpace::Lab && C == 0 ? 100 : 1;
  }
  if (auto* D = As<TPDFArray>(Dict->GetValue("Decode", true)); D && D->Count() >= 2 * N && !JPX)
    for (int I = 0; I < 2 * N; ++I) Decode[static_cast<size_t>(I)] = NumberOf(D->GetItem(I), Decode[static_cast<size_t>(I)]);
  else if (Samples.AdobeCMYK)
    for (int C = 0; C < N; ++C) std::swap(Decode[2 * C], Decode[2 * C + 1]);  // stored inverted

  TPDFImage& Image = Result.Image;
  Image.Width = static_cast<int32_t>(W);
  Image.Height = static_cast<int32_t>(H);
  const bool GrayFill = Fill[0] == Fill[1] && Fill[1] == Fill[2];
  Image.Components = Mask ? (GrayFill ? 1 : 3) : Space.OutComponents();
  const size_t Out = static_cast<size_t>(Image.Components);
  if (Width * Height > Limits.MaxBytes / Out) {
    Error = "too large: " + Pixels(Image.Width, Image.Height);
    return Result;
  }
  Image.Pixels.resize(Width * Height * Out);
  auto* Dst = reinterpret_cast<uint8_t*>(Image.Pixels.data());
  const auto* Src = reinterpret_cast<const uint8_t*>(Samples.Data.data());
  auto Value = [&](int C, uint32_t S) {
    return Decode[2 * C] + S * (Decode[2 * C + 1] - Decode[2 * C]) / MaxSample;
  };

  if (Mask) {
    // A sample that decodes to 0 paints.
    const std::array<uint8_t, 3> White{255, 255, 255};
    for (size_t Y = 0; Y < Height; ++Y)
      for (size_t X = 0; X < Width; ++X) {
        const bool Paints = Value(0, SampleAt(Src + Y * RowBytes, X, 1)) < 0.5;
        const auto& Colour = Paints ? Fill : White;
        std::memcpy(Dst + (Y * Width + X) * Out, Colour.data(), Out);
      }
    return Result;
  }
  if (N == 1 && Bits <= 8) {
    // One component of at most 8 bits: a table from sample to pixel.
    std::array<std::array<uint8_t, 3>, 256> Table{};
    for (uint32_t S = 0; S <= MaxSample; ++S) {
      const double V = Value(0, S);
      Table[S] = ColourOf(Space, &V);
    }
    for (size_t Y = 0; Y < Height; ++Y) {
      const uint8_t* Row = Src + Y * RowBytes;
      uint8_t* D = Dst + Y * Width * Out;
      if (Out == 1 && Bits == 1) {
        // A bilevel page, eight pixels a byte.
        const uint8_t V[2] = {Table[0][0], Table[1][0]};
        size_t X = 0;
        for (; X + 8 <= Width; X += 8) {
          const uint8_t Byte = Row[X >> 3];
          for (int K = 0; K < 8; ++K) D[X + static_cast<size_t>(K)] = V[Byte >> (7 - K) & 1];
        }
        for (; X < Width; ++X) D[X] = V[SampleAt(Row, X, 1)];
      } else if (Out == 1)
        for (size_t X = 0; X < Width; ++X) D[X] = Table[SampleAt(Row, X, Bits)][0];
      else
        for (size_t X = 0; X < Width; ++X) std::memcpy(D + 3 * X, Table[SampleAt(Row, X, Bits)].data(), 3);
    }
    return Result;
  }
  double C[MaxDeviceN];
  for (size_t Y = 0; Y < Height; ++Y) {
    const uint8_t* Row = Src + Y * RowBytes;
    for (size_t X = 0; X < Width; ++X) {
      for (int K = 0; K < N; ++K) C[K] = Value(K, SampleAt(Row, X * static_cast<size_t>(N) + static_cast<size_t>(K), Bits));
      const auto Colour = ColourOf(Space, C);
      std::memcpy(Dst + (Y * Width + X) * Out, Colour.data(), Out);
    }
  }
  return Result;
}

TPDFStream* InlineImageStream(TPDFStructure& Structure, std::string_view DictionaryText, std::string_view Data) {
  auto* Parsed = As<TPDFDictionary>(Structure.ParseObject("<<" + std::string(DictionaryText) + ">>"));
  if (!Parsed) return nullptr;
  static const std::pair<std::string_view, std::string_view> Keys[] = {
      {"BPC", "BitsPerComponent"}, {"CS", "ColorSpace"}, {"D", "Decode"}, {"DP", "DecodeParms"},
      {"F", "Filter"},             {"H", "Height"},      {"IM", "ImageMask"}, {"I", "Interpolate"},
      {"W", "Width"}};
  static const std::pair<std::string_view, std::string_view> Names[] = {
      {"AHx", "ASCIIHexDecode"}, {"A85", "ASCII85Decode"}, {"LZW", "LZWDecode"},  {"Fl", "FlateDecode"},
      {"RL", "RunLengthDecode"}, {"CCF", "CCITTFaxDecode"}, {"DCT", "DCTDecode"}, {"G", "DeviceGray"},
      {"RGB", "DeviceRGB"},      {"CMYK", "DeviceCMYK"},    {"I", "Indexed"}};
  auto Expand = [&](TPDFObject* Value) -> TPDFObject* {
    auto Name = [&](TPDFObject* V) -> TPDFObject* {
      if (auto* N = As<TPDFName>(V))
        for (const auto& [Short, Long] : Names)
          if (N->Value() == Short) return Structure.NewName(Long);
      return V;
    };
    if (auto* A = As<TPDFArray>(Value)) {
      TPDFArray* Copy = Structure.NewArray();
      for (TPDFObject* Item : A->Items()) Copy->Add(Name(Item));
      return Copy;
    }
    return Name(Value);
  };
  TPDFStream* Stream = Structure.NewStream(std::string(Data));
  TPDFDictionary* Dict = Structure.NewDictionary();
  for (const auto& Entry : Parsed->Entries()) {
    if (!Entry.first) continue;
    std::string_view Key = Entry.first->Value();
    for (const auto& [Short, Long] : Keys)
      if (Key == Short) Key = Long;
    TPDFObject* Value = Entry.second;
    if (Key == "Filter" || Key == "ColorSpace") Value = Expand(Value);
    Dict->SetValue(Key, Value);
  }
  Stream->SetDictionary(Dict);
  return Stream;
}

bool TPDFInlineImageScan::Take(std::string_view Token) {
  if (Token == "ID") return false;
  if (Token.empty()) return true;
  auto IsDCT = [](std::string_view Name) { return Name == "/DCT" || Name == "/DCTDecode"; };
  if (FInFilters) {
    if (Token == "]") FInFilters = false;
    else (IsDCT(Token) ? FDCT : FOtherFilter) = true;
    return true;
  }
  if (Token[0] == '/' && FKey.empty()) {
    FKey = Token.substr(1);
    return true;
  }
  if (FKey.empty()) return true;
  if (FKey == "W" || FKey == "Width") FWidth = StrToNumber(Token);
  else if (FKey == "H" || FKey == "Height") FHeight = StrToNumber(Token);
  else if (FKey == "BPC" || FKey == "BitsPerComponent") FBits = StrToNumber(Token);
  else if (FKey == "IM" || FKey == "ImageMask") FMask = Token == "true";
  else if (FKey == "CS" || FKey == "ColorSpace") {
    FComponents = Token == "/RGB" || Token == "/DeviceRGB" ? 3 : Token == "/CMYK" || Token == "/DeviceCMYK" ? 4 : 1;
  } else if (FKey == "F" || FKey == "Filter") {
    if (Token == "[") {  // an array of filters, up to its ]
      FInFilters = true;
      FKey.clear();
      return true;
    }
    (IsDCT(Token) ? FDCT : FOtherFilter) = true;
  }
  if (Token == "[" || Token == "<<") return true;  // a value still open: the key stays
  FKey.clear();
  return true;
}

TPDFInlineImageScan::TEnd TPDFInlineImageScan::Find(std::string_view C, size_t DataStart,
                                                     TPDFPageBudget* Budget) const {
  // The bytes walked, told to the budget in steps of 4096 and at the end;
  // false once it is spent.
  size_t Walked = 0;
  auto Walk = [&](size_t Bytes) {
    Walked += Bytes;
    if (Walked < 4096 || !Budget) return true;
    const bool Going = Budget->Reread(Walked);
    Walked = 0;
    return Going;
  };
  const TEnd End = Locate(C, std::min(DataStart, C.size()), Walk);
  if (Budget && Walked > 0) Budget->Reread(Walked);
  return End;
}

template <typename TWalk>
TPDFInlineImageScan::TEnd TPDFInlineImageScan::Locate(std::string_view C, size_t DataStart, TWalk& Walk) const {
  // The data end at DataEnd, but for one white-space byte before it.
  auto Ends = [&](size_t DataEnd, size_t End) {
    if (DataEnd > DataStart && IsPDFWhite(static_cast<unsigned char>(C[DataEnd - 1]))) --DataEnd;
    return TEnd{DataEnd, End};
  };
  auto At = [&](size_t EI) { return Ends(EI, EI + 2); };
  // An EI at P: followed by white space or the content's end.
  auto IsEI = [&](size_t P) {
    return P + 2 <= C.size() && C.compare(P, 2, "EI") == 0 &&
           (P + 2 == C.size() || IsPDFWhite(static_cast<unsigned char>(C[P + 2])));
  };
  bool Spent = false;
  auto EIAfter = [&](size_t P) -> size_t {  // an EI after white space from P on
    while (P < C.size() && IsPDFWhite(static_cast<unsigned char>(C[P])))
      if (++P, !Walk(1)) {
        Spent = true;
        return std::string_view::npos;
      }
    return IsEI(P) ? P : std::string_view::npos;
  };
  if (FDCT && !FOtherFilter) {
    // Walk the JPEG markers to the end-of-image marker.
    size_t P = DataStart;
    if (P + 1 < C.size() && static_cast<unsigned char>(C[P]) == 0xFF && static_cast<unsigned char>(C[P + 1]) == 0xD8) {
      P += 2;
      while (P + 1 < C.size()) {
        if (!Walk(1)) {
          Spent = true;
          break;
        }
        if (static_cast<unsigned char>(C[P]) != 0xFF) {
          ++P;
          continue;
        }
        const unsigned char Marker = static_cast<unsigned char>(C[P + 1]);
        if (Marker == 0xD9) {
          if (const size_t EI = EIAfter(P + 2); EI != std::string_view::npos) return At(EI);
          break;
        }
        if (Marker == 0xFF || Marker == 0x00 || (Marker >= 0xD0 && Marker <= 0xD7) || Marker == 0x01) {
          P += Marker == 0xFF ? 1 : 2;
          continue;
        }
        if (P + 3 >= C.size()) break;
        const size_t Length = static_cast<unsigned char>(C[P + 2]) << 8 | static_cast<unsigned char>(C[P + 3]);
        P += 2 + Length;
      }
    }
  } else if (!FDCT && !FOtherFilter) {
    // Unfiltered samples: their length is known.
    const double Bits = FMask ? 1 : FBits;
    const int Components = FMask ? 1 : FComponents;
    const double RowBytes = std::ceil(FWidth * Bits / 8);
    const double Bytes = FHeight * RowBytes * Components;
    if (Bytes >= 0 && Bytes < static_cast<double>(C.size()))
      if (const size_t EI = EIAfter(DataStart + static_cast<size_t>(Bytes)); EI != std::string_view::npos) return At(EI);
  }
  if (Spent) return Ends(C.size(), C.size());
  // Otherwise: the first "EI" followed by white space.
  for (size_t P = C.find("EI", DataStart); P != std::string_view::npos; P = C.find("EI", P + 1))
    if (IsEI(P)) return At(P);
  return Ends(C.size(), C.size());
}

TPDFImage TurnImage(const TPDFImage& Image, int Turns, bool Mirrored) {
  Turns = ((Turns % 4) + 4) % 4;
  if (Turns == 0 && !Mirrored) return Image;
  const size_t W = static_cast<size_t>(std::max(Image.Width, 0)), H = static_cast<size_t>(std::max(Image.Height, 0));
  const size_t C = static_cast<size_t>(std::max(Image.Components, 0));
  TPDFImage Out;
  Out.Components = Image.Components;
  if (Image.Pixels.size() < W * H * C) return Out;
  const bool Sideways = Turns == 1 || Turns == 3;
  Out.Width = static_cast<int32_t>(Sideways ? H : W);
  Out.Height = static_cast<int32_t>(Sideways ? W : H);
  Out.Pixels.resize(W * H * C);
  const size_t OutW = Sideways ? H : W;
  // Each source pixel, at (X, Y) once mirrored, to its place: a quarter
  // turn sends it to (H - 1 - Y, X), a half turn to (W - 1 - X, H - 1 - Y),
  // three quarters to (Y, W - 1 - X).
  for (size_t Y = 0; Y < H; ++Y)
    for (size_t SX = 0; SX < W; ++SX) {
      const size_t X = Mirrored ? W - 1 - SX : SX;  // where the pixel stands before the turn
      size_t DX, DY;
      if (Turns == 0) {
        DX = X;
        DY = Y;
      } else if (Turns == 1) {
        DX = H - 1 - Y;
        DY = X;
      } else if (Turns == 2) {
        DX = W - 1 - X;
        DY = H - 1 - Y;
      } else {
        DX = Y;
        DY = W - 1 - X;
      }
      std::memcpy(&Out.Pixels[(DY * OutW + DX) * C], &Image.Pixels[(Y * W + SX) * C], C);
    }
  return Out;
}
