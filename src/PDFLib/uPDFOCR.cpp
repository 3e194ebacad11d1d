// Text recognition in the images of a page, through Tesseract.
#include "uPDFOCR.h"

#include <dlfcn.h>
#include <tesseract/capi.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <type_traits>

#include "uPDFLibCrypto.h"

namespace {

// Pixels Tesseract is given at most (an A0 sheet at 200 dpi; an A4 page at
// 300 dpi is 8.7 million): a small image drawn over a large page is not
// blown up beyond it.
constexpr double MaxReadPixels = 64e6;

// Where the language models are: TESSDATA_PREFIX, else Debian's folders.
std::vector<std::string> ModelFolders() {
  std::vector<std::string> Folders;
  if (const char* Prefix = std::getenv("TESSDATA_PREFIX"); Prefix && *Prefix) {
    Folders.push_back(Prefix);
    Folders.push_back(std::string(Prefix) + "/tessdata");
  }
  Folders.push_back("/usr/share/tesseract-ocr/5/tessdata");
  Folders.push_back("/usr/share/tesseract-ocr/4.00/tessdata");
  return Folders;
}

bool Installed(const std::string& Language) {
  std::error_code Ec;
  for (const std::string& Folder : ModelFolders())
    if (std::filesystem::is_regular_file(Folder + "/" + Language + ".traineddata", Ec)) return true;
  return false;
}

std::vector<std::string> Split(const std::string& Languages) {
  std::vector<std::string> Out;
  size_t Start = 0;
  while (Start <= Languages.size()) {
    const size_t Plus = std::min(Languages.find('+', Start), Languages.size());
    if (Plus > Start) Out.push_back(Languages.substr(Start, Plus - Start));
    Start = Plus + 1;
  }
  return Out;
}

// A language name is letters, digits and "_" (no path can sneak in).
bool Plain(const std::string& Language) {
  return !Language.empty() && std::all_of(Language.begin(), Language.end(), [](char C) {
    return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_';
  });
}

}  // namespace

std::string DefaultOCRLanguages() {
  std::string Out;
  for (const char* Language : {"eng", "chi_sim"}) {
    if (!Installed(Language)) continue;
    if (!Out.empty()) Out += '+';
    Out += Language;
  }
  return Out;
}

std::vector<std::string> MissingOCRLanguages(const std::string& Languages) {
  std::vector<std::string> Missing;
  for (const std::string& L : Split(Languages))
    if (!Plain(L) || !Installed(L)) Missing.push_back(L);
  return Missing;
}

std::string OCRLanguagePackage(const std::string& Language) {
  std::string Name = "tesseract-ocr-";
  for (char C : Language) Name += C == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return Name;
}

namespace {

// Tesseract's library, opened once per process (the first thread to need it
// opens it; the others wait): null when it cannot be.
void* TesseractLibrary() {
  static std::once_flag Once;
  static void* Library = nullptr;
  std::call_once(Once, [] {
    LibCrypto();  // the trusted libcrypto first, for libcurl to take
    // Tesseract's inner loops ask OpenMP for several threads each; a worker
    // reads with one (the workers spread the pages over the cores). The
    // runtime reads its limit once, when it loads with Tesseract; a limit
    // the user set stands.
    ::setenv("OMP_THREAD_LIMIT", "1", 0);
    Library = ::dlopen(VORLITH_LIBTESSERACT, RTLD_NOW | RTLD_LOCAL);
  });
  return Library;
}

}  // namespace

// Tesseract's C functions, from the library opened by its full path on the
// first page that needs it: a run that reads no image never loads it (nor
// the libraries it brings, libcurl and OpenSSL's among them, whose libcrypto
// is then the one the engine opened by its full path).
struct TPDFRecogniser::TApi {
  void* Library = nullptr;
  TessBaseAPI* Handle = nullptr;
  decltype(&TessBaseAPICreate) Create = nullptr;
  decltype(&TessBaseAPIDelete) Delete = nullptr;
  decltype(&TessBaseAPIInit2) Init = nullptr;
  decltype(&TessBaseAPIEnd) End = nullptr;
  decltype(&TessBaseAPISetVariable) SetVariable = nullptr;
  decltype(&TessBaseAPISetPageSegMode) SetPageSegMode = nullptr;
  decltype(&TessBaseAPISetImage) SetImage = nullptr;
  decltype(&TessBaseAPISetSourceResolution) SetSourceResolution = nullptr;
  decltype(&TessBaseAPIRecognize) Recognize = nullptr;
  decltype(&TessBaseAPIClear) Clear = nullptr;
  decltype(&TessBaseAPIGetIterator) GetIterator = nullptr;
  decltype(&TessResultIteratorDelete) IteratorDelete = nullptr;
  decltype(&TessResultIteratorGetPageIteratorConst) PageIterator = nullptr;
  decltype(&TessResultIteratorNext) Next = nullptr;
  decltype(&TessResultIteratorGetUTF8Text) Text = nullptr;
  decltype(&TessResultIteratorConfidence) Confidence = nullptr;
  decltype(&TessPageIteratorIsAtBeginningOf) AtBeginningOf = nullptr;
  decltype(&TessPageIteratorBoundingBox) BoundingBox = nullptr;
  decltype(&TessPageIteratorBaseline) Baseline = nullptr;
  decltype(&TessDeleteText) DeleteText = nullptr;
  // OpenMP's thread count for the calling thread (Tesseract's runtime).
  void (*SetThreads)(int) = nullptr;

  ~TApi() {
    if (Handle) {
      End(Handle);
      Delete(Handle);
    }
    // The library stays loaded: OpenMP's threads may outlive a close.
  }

  // Opens the library and finds every function; the cause when not.
  std::string Open() {
    Library = TesseractLibrary();
    if (!Library) return std::string(VORLITH_LIBTESSERACT) + " cannot be loaded";
    bool All = true;
    auto Find = [&](auto& Function, const char* Name) {
      Function = reinterpret_cast<std::remove_reference_t<decltype(Function)>>(::dlsym(Library, Name));
      All = All && Function;
    };
    Find(Create, "TessBaseAPICreate");
    Find(Delete, "TessBaseAPIDelete");
    Find(Init, "TessBaseAPIInit2");
    Find(End, "TessBaseAPIEnd");
    Find(SetVariable, "TessBaseAPISetVariable");
    Find(SetPageSegMode, "TessBaseAPISetPageSegMode");
    Find(SetImage, "TessBaseAPISetImage");
    Find(SetSourceResolution, "TessBaseAPISetSourceResolution");
    Find(Recognize, "TessBaseAPIRecognize");
    Find(Clear, "TessBaseAPIClear");
    Find(GetIterator, "TessBaseAPIGetIterator");
    Find(IteratorDelete, "TessResultIteratorDelete");
    Find(PageIterator, "TessResultIteratorGetPageIteratorConst");
    Find(Next, "TessResultIteratorNext");
    Find(Text, "TessResultIteratorGetUTF8Text");
    Find(Confidence, "TessResultIteratorConfidence");
    Find(AtBeginningOf, "TessPageIteratorIsAtBeginningOf");
    Find(BoundingBox, "TessPageIteratorBoundingBox");
    Find(Baseline, "TessPageIteratorBaseline");
    Find(DeleteText, "TessDeleteText");
    if (!All) return std::string(VORLITH_LIBTESSERACT) + " lacks Tesseract's functions";
    SetThreads = reinterpret_cast<void (*)(int)>(::dlsym(Library, "omp_set_num_threads"));
    return {};
  }
};

TPDFRecogniser::TPDFRecogniser(std::string Languages) : FLanguages(std::move(Languages)) {}

TPDFRecogniser::~TPDFRecogniser() = default;

bool TPDFRecogniser::Ready() {
  if (FStarted) return FError.empty();
  FStarted = true;
  if (FLanguages.empty()) {
    FError = "no language is installed";
    return false;
  }
  if (const auto Missing = MissingOCRLanguages(FLanguages); !Missing.empty()) {
    FError = "the language " + Missing.front() + " is not installed";
    return false;
  }
  auto Api = std::make_unique<TApi>();
  if (std::string Cause = Api->Open(); !Cause.empty()) {
    FError = std::move(Cause);
    return false;
  }
  if (Api->SetThreads) Api->SetThreads(1);
  Api->Handle = Api->Create();
  if (!Api->Handle || Api->Init(Api->Handle, nullptr, FLanguages.c_str(), tesseract::OEM_DEFAULT) != 0) {
    FError = "Tesseract cannot start with " + FLanguages;
    return false;
  }
  // Tesseract's own messages would go to the standard error.
  Api->SetVariable(Api->Handle, "debug_file", "/dev/null");
  Api->SetPageSegMode(Api->Handle, tesseract::PSM_AUTO);
  FApi = std::move(Api);
  return true;
}

namespace {

// Gray pixels of Image, Components (3) bytes each, as one byte each.
std::vector<uint8_t> GrayOf(const TPDFImage& Image) {
  const size_t Count = static_cast<size_t>(Image.Width) * static_cast<size_t>(Image.Height);
  const auto* Src = reinterpret_cast<const uint8_t*>(Image.Pixels.data());
  std::vector<uint8_t> Gray(Count);
  const size_t C = static_cast<size_t>(Image.Components);
  for (size_t I = 0; I < Count; ++I) {
    const uint8_t* P = Src + I * C;
    Gray[I] = static_cast<uint8_t>((P[0] * 299 + P[1] * 587 + P[2] * 114) / 1000);
  }
  return Gray;
}

// Gray pixels W x H resampled to NW x NH: each new pixel the average of the
// old ones it covers when shrinking, interpolated between its four nearest
// when growing.
std::vector<uint8_t> Resampled(const uint8_t* Src, int32_t W, int32_t H, int32_t NW, int32_t NH) {
  std::vector<uint8_t> Out(static_cast<size_t>(NW) * static_cast<size_t>(NH));
  const double SX = static_cast<double>(W) / NW, SY = static_cast<double>(H) / NH;
  if (SX >= 1 && SY >= 1) {
    // Column spans once, then rows of sums.
    std::vector<int32_t> X0(static_cast<size_t>(NW)), X1(static_cast<size_t>(NW));
    for (int32_t X = 0; X < NW; ++X) {
      X0[static_cast<size_t>(X)] = static_cast<int32_t>(X * SX);
      X1[static_cast<size_t>(X)] = std::max(X0[static_cast<size_t>(X)] + 1, std::min(W, static_cast<int32_t>((X + 1) * SX)));
    }
    std::vector<uint32_t> Sums(static_cast<size_t>(W));
    for (int32_t Y = 0; Y < NH; ++Y) {
      const int32_t Y0 = static_cast<int32_t>(Y * SY), Y1 = std::max(Y0 + 1, std::min(H, static_cast<int32_t>((Y + 1) * SY)));
      std::fill(Sums.begin(), Sums.end(), 0);
      for (int32_t R = Y0; R < Y1; ++R) {
        const uint8_t* Row = Src + static_cast<size_t>(R) * static_cast<size_t>(W);
        for (int32_t X = 0; X < W; ++X) Sums[static_cast<size_t>(X)] += Row[X];
      }
      uint8_t* Dst = Out.data() + static_cast<size_t>(Y) * static_cast<size_t>(NW);
      for (int32_t X = 0; X < NW; ++X) {
        uint64_t Sum = 0;
        for (int32_t C = X0[static_cast<size_t>(X)]; C < X1[static_cast<size_t>(X)]; ++C) Sum += Sums[static_cast<size_t>(C)];
        const uint64_t Count = static_cast<uint64_t>(X1[static_cast<size_t>(X)] - X0[static_cast<size_t>(X)]) * static_cast<uint64_t>(Y1 - Y0);
        Dst[X] = static_cast<uint8_t>((Sum + Count / 2) / Count);
      }
    }
    return Out;
  }
  for (int32_t Y = 0; Y < NH; ++Y) {
    const double FY = std::clamp((Y + 0.5) * SY - 0.5, 0.0, static_cast<double>(H - 1));
    const int32_t Y0 = static_cast<int32_t>(FY), Y1 = std::min(Y0 + 1, H - 1);
    const double DY = FY - Y0;
    const uint8_t* R0 = Src + static_cast<size_t>(Y0) * static_cast<size_t>(W);
    const uint8_t* R1 = Src + static_cast<size_t>(Y1) * static_cast<size_t>(W);
    uint8_t* Dst = Out.data() + static_cast<size_t>(Y) * static_cast<size_t>(NW);
    for (int32_t X = 0; X < NW; ++X) {
      const double FX = std::clamp((X + 0.5) * SX - 0.5, 0.0, static_cast<double>(W - 1));
      const int32_t X0 = static_cast<int32_t>(FX), X1 = std::min(X0 + 1, W - 1);
      const double DX = FX - X0;
      const double Top = R0[X0] + (R0[X1] - R0[X0]) * DX, Bottom = R1[X0] + (R1[X1] - R1[X0]) * DX;
      Dst[X] = static_cast<uint8_t>(std::clamp(std::nearbyint(Top + (Bottom - Top) * DY), 0.0, 255.0));
    }
  }
  return Out;
}

// Whether the UTF-8 text's first (Last: last) character is written without
// spaces between words: Chinese, Japanese and Korean ideographs, kana and
// their punctuation and full-width forms.
bool Unspaced(const std::string& Text, bool Last) {
  if (Text.empty()) return false;
  size_t At = 0;
  if (Last) {
    At = Text.size() - 1;
    while (At > 0 && (static_cast<unsigned char>(Text[At]) & 0xC0) == 0x80) --At;
  }
  const auto B = static_cast<unsigned char>(Text[At]);
  const int Length = B < 0x80 ? 1 : (B >> 5) == 6 ? 2 : (B >> 4) == 14 ? 3 : (B >> 3) == 30 ? 4 : 0;
  if (Length < 3 || At + static_cast<size_t>(Length) > Text.size()) return false;
  char32_t C = B & (0x7F >> Length);
  for (int K = 1; K < Length; ++K) C = C << 6 | (static_cast<unsigned char>(Text[At + static_cast<size_t>(K)]) & 0x3F);
  return (C >= 0x3000 && C <= 0x9FFF) || (C >= 0xF900 && C <= 0xFAFF) || (C >= 0xFF00 && C <= 0xFFEF) ||
         (C >= 0xAC00 && C <= 0xD7AF) || C >= 0x20000;
}

// Tesseract splits a line of Chinese into "words" where no space stands:
// neighbours on one line that meet between two such characters become one
// word, their boxes joined.
void JoinUnspaced(std::vector<TPDFOCRWord>& Words) {
  std::vector<TPDFOCRWord> Out;
  for (TPDFOCRWord& W : Words) {
    if (!Out.empty() && Out.back().Line == W.Line && Unspaced(Out.back().Text, true) && Unspaced(W.Text, false)) {
      TPDFOCRWord& P = Out.back();
      P.Text += W.Text;
      P.Top = std::min(P.Top, W.Top);
      P.Bottom = std::max(P.Bottom, W.Bottom);
      P.Right = std::max(P.Right, W.Right);
      P.BaselineRight = W.BaselineRight;
      continue;
    }
    Out.push_back(std::move(W));
  }
  Words = std::move(Out);
}

// Words below MinConfidence of 100 are mostly what Tesseract makes of a
// picture's texture, and are left out; but a line whose other words (two at
// least) average LineConfidence vouches for a doubtful word in it, such as
// a character of a rarer shape at the end of a line of Chinese.
constexpr float MinConfidence = 30, LineConfidence = 85;

void KeepConfident(std::vector<TPDFOCRWord>& Words, const std::vector<float>& Confidence) {
  std::vector<TPDFOCRWord> Out;
  for (size_t Start = 0, End = 0; Start < Words.size(); Start = End) {
    double Sum = 0;
    for (End = Start; End < Words.size() && Words[End].Line == Words[Start].Line; ++End) Sum += Confidence[End];
    const size_t Others = End - Start - 1;
    for (size_t I = Start; I < End; ++I) {
      const bool Vouched = Others >= 2 && (Sum - Confidence[I]) / static_cast<double>(Others) >= LineConfidence;
      if (Confidence[I] >= MinConfidence || Vouched) Out.push_back(std::move(Words[I]));
    }
  }
  Words = std::move(Out);
}

}  // namespace

std::vector<TPDFOCRWord> TPDFRecogniser::Recognise(const TPDFImage& Image, double Scale) {
  std::vector<TPDFOCRWord> Words;
  if (!Ready() || Image.Width <= 0 || Image.Height <= 0 || (Image.Components != 1 && Image.Components != 3) ||
      Image.Pixels.size() < static_cast<size_t>(Image.Width) * Image.Height * Image.Components)
    return Words;
  if (!(Scale > 0) || !std::isfinite(Scale)) Scale = 1;
  // A page image is read as gray, resampled to about 300 dpi when its own
  // resolution is well away from it, and to no more than MaxReadPixels.
  // One-component pixels are read in place; others are made gray first.
  std::vector<uint8_t> Gray;
  const uint8_t* Pixels = reinterpret_cast<const uint8_t*>(Image.Pixels.data());
  if (Image.Components != 1) {
    Gray = GrayOf(Image);
    Pixels = Gray.data();
  }
  int32_t W = Image.Width, H = Image.Height;
  if (Scale < 0.87 || Scale > 1.15) {
    const double Count = static_cast<double>(W) * H * Scale * Scale;
    if (Count > MaxReadPixels) Scale = std::sqrt(MaxReadPixels / (static_cast<double>(W) * H));
    const auto NW = static_cast<int32_t>(std::max(1.0, std::nearbyint(W * Scale)));
    const auto NH = static_cast<int32_t>(std::max(1.0, std::nearbyint(H * Scale)));
    Gray = Resampled(Pixels, W, H, NW, NH);
    Pixels = Gray.data();
    W = NW;
    H = NH;
  }
  const double SX = static_cast<double>(W) / Image.Width, SY = static_cast<double>(H) / Image.Height;
  TApi& A = *FApi;
  if (A.SetThreads) A.SetThreads(1);
  // A black-and-white picture (a fax, a JBIG2 or a stencil mask, read at its
  // own size) goes in as one bit per pixel, 1 for white, as Tesseract reads
  // a bilevel file: it then needs no thresholding. One pass packs the bits
  // and finds out whether any pixel is gray.
  const size_t RowBytes = (static_cast<size_t>(W) + 7) / 8;
  std::vector<uint8_t> Bits(RowBytes * static_cast<size_t>(H));
  unsigned Gray8 = 0;
  for (int32_t Y = 0; Y < H && !Gray8; ++Y) {
    const uint8_t* Row = Pixels + static_cast<size_t>(Y) * static_cast<size_t>(W);
    uint8_t* Out = Bits.data() + static_cast<size_t>(Y) * RowBytes;
    int32_t X = 0;
    for (; X + 8 <= W; X += 8) {
      unsigned Byte = 0;
      for (int K = 0; K < 8; ++K) {
        const unsigned V = Row[X + K];
        Gray8 |= (V + 1) & 0xFE;  // 0 for 0 and 255 only
        Byte = Byte << 1 | V >> 7;
      }
      Out[X >> 3] = static_cast<uint8_t>(Byte);
    }
    for (; X < W; ++X) {
      const unsigned V = Row[X];
      Gray8 |= (V + 1) & 0xFE;
      if (V) Out[X >> 3] = static_cast<uint8_t>(Out[X >> 3] | 0x80 >> (X & 7));
    }
  }
  if (!Gray8)
    A.SetImage(A.Handle, Bits.data(), W, H, 0, static_cast<int>(RowBytes));
  else
    A.SetImage(A.Handle, Pixels, W, H, 1, W);
  A.SetSourceResolution(A.Handle, static_cast<int>(Resolution));
  std::vector<float> Confidence;  // of each word
  if (A.Recognize(A.Handle, nullptr) == 0) {
    TessResultIterator* It = A.GetIterator(A.Handle);
    const TessPageIterator* Page = It ? A.PageIterator(It) : nullptr;
    int Line = 0;
    double BaseX1 = 0, BaseY1 = 0, BaseX2 = 0, BaseY2 = 0;
    bool HasBase = false;
    if (Page) do {
        if (A.AtBeginningOf(Page, tesseract::RIL_TEXTLINE)) {
          ++Line;
          int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
          HasBase = A.Baseline(Page, tesseract::RIL_TEXTLINE, &X1, &Y1, &X2, &Y2) && X2 != X1;
          BaseX1 = X1, BaseY1 = Y1, BaseX2 = X2, BaseY2 = Y2;
        }
        char* Text = A.Text(It, tesseract::RIL_WORD);
        if (!Text) continue;
        const std::string Word = Text;
        A.DeleteText(Text);
        int L = 0, T = 0, R = 0, B = 0;
        if (Word.empty() || !A.BoundingBox(Page, tesseract::RIL_WORD, &L, &T, &R, &B)) continue;
        Confidence.push_back(A.Confidence(It, tesseract::RIL_WORD));
        TPDFOCRWord Out;
        Out.Left = L / SX;
        Out.Top = T / SY;
        Out.Right = R / SX;
        Out.Bottom = B / SY;
        // The line's baseline where the word stands (its box bottom when
        // Tesseract gives none).
        auto BaseAt = [&](double X) {
          return HasBase ? BaseY1 + (X - BaseX1) * (BaseY2 - BaseY1) / (BaseX2 - BaseX1) : static_cast<double>(B);
        };
        Out.BaselineLeft = BaseAt(L) / SY;
        Out.BaselineRight = BaseAt(R) / SY;
        Out.Line = Line;
        Out.Text = Word;
        Words.push_back(std::move(Out));
      } while (A.Next(It, tesseract::RIL_WORD));
    if (It) A.IteratorDelete(It);
  }
  A.Clear(A.Handle);
  KeepConfident(Words, Confidence);
  JoinUnspaced(Words);
  return Words;
}

const TPDFImageWords& TPDFOCRSession::Words(const std::string& Key, const TPDFStream& Image,
                                            const TPDFDictionary* Resources, std::array<uint8_t, 3> Fill,
                                            double Scale) {
  return Words(Key, [&] { return DecodeImage(Image, Resources, Limits, Fill); }, Scale);
}

const TPDFImageWords& TPDFOCRSession::Words(const std::string& Key, const std::function<TPDFImageResult()>& Make,
                                            double Scale) {
  if (auto Found = FCache.find(Key); Found != FCache.end()) return Found->second;
  TPDFImageWords& Out = FCache[Key];
  TPDFRecogniser* R = Recogniser ? Recogniser() : nullptr;
  if (!R || !R->Ready()) {
    Out.Error = R ? R->Error() : "no recogniser";
    Out.NoRecogniser = true;
    return Out;
  }
  TPDFImageResult Decoded = Make();
  if (!Decoded.Ok()) {
    Out.Error = std::move(Decoded.Error);
    return Out;
  }
  Out.Width = Decoded.Image.Width;
  Out.Height = Decoded.Image.Height;
  Out.Words = R->Recognise(Decoded.Image, Scale);
  return Out;
}
