// The forms a typed password takes before the security handler hashes it.
#include "uPDFPassword.h"

#include <stringprep.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "CodePage.h"

namespace {

// The revision 5 and 6 handler reads no more of a password than this.
constexpr size_t MaxAES256Password = 127;

// The characters of PDFDocEncoding that are not their own code point:
// bytes 0x18-0x1F and 0x80-0xA0. 0 marks an undefined byte.
constexpr uint16_t PDFDocLow[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr uint16_t PDFDocHigh[33] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044,  // 80-87
    0x2039, 0x203A, 0x2212, 0x2030, 0x201E, 0x201C, 0x201D, 0x2018,  // 88-8F
    0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141, 0x0152, 0x0160,  // 90-97
    0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0,       // 98-9F
    0x20AC,                                                          // A0
};

// The PDFDocEncoding byte of code point C, or -1.
int PDFDocByte(uint32_t C) {
  if (C < 0x18 || (C >= 0x20 && C < 0x7F) || (C >= 0xA1 && C <= 0xFF)) return static_cast<int>(C);
  for (int I = 0; I < 8; ++I)
    if (PDFDocLow[I] == C) return 0x18 + I;
  for (int I = 0; I < 33; ++I)
    if (PDFDocHigh[I] != 0 && PDFDocHigh[I] == C) return 0x80 + I;
  return -1;
}

// The next code point of UTF-8 Text at I (which it advances); -1 for a
// malformed sequence.
int64_t NextCodePoint(std::string_view Text, size_t& I) {
  const auto B = static_cast<unsigned char>(Text[I++]);
  if (B < 0x80) return B;
  int More = B >= 0xF0 && B < 0xF8 ? 3 : B >= 0xE0 ? 2 : B >= 0xC2 && B < 0xE0 ? 1 : -1;
  if (More < 0 || B >= 0xF8) return -1;
  uint32_t C = B & (0x3F >> More);
  for (; More > 0; --More) {
    if (I >= Text.size()) return -1;
    const auto N = static_cast<unsigned char>(Text[I++]);
    if ((N & 0xC0) != 0x80) return -1;
    C = (C << 6) | (N & 0x3F);
  }
  return C;
}

}  // namespace

std::optional<std::string> PasswordToPDFDoc(const TCodePage& CodePage, std::string_view Password) {
  const std::optional<std::string> UTF8 = ConvertToUTF8(CodePage, Password);
  if (!UTF8) return std::nullopt;
  std::string Out;
  for (size_t I = 0; I < UTF8->size();) {
    const int64_t C = NextCodePoint(*UTF8, I);
    const int Byte = C < 0 ? -1 : PDFDocByte(static_cast<uint32_t>(C));
    if (Byte < 0) return std::nullopt;
    Out += static_cast<char>(Byte);
  }
  return Out;
}

std::optional<std::string> SASLprep(std::string_view Text) {
  // The library reads a zero-terminated string: an embedded zero cannot pass.
  if (Text.find('\0') != std::string_view::npos) return std::nullopt;
  const std::string In(Text);
  char* Out = nullptr;
  if (stringprep_profile(In.c_str(), &Out, "SASLprep", static_cast<Stringprep_profile_flags>(0)) != STRINGPREP_OK) {
    std::free(Out);
    return std::nullopt;
  }
  std::unique_ptr<char, decltype(&std::free)> Guard(Out, &std::free);
  return std::string(Out);
}

std::string PasswordForAES256(const TCodePage& CodePage, std::string_view Password) {
  std::string UTF8 = ConvertToUTF8(CodePage, Password).value_or(std::string(Password));
  if (std::optional<std::string> Prepared = SASLprep(UTF8)) UTF8 = std::move(*Prepared);
  if (UTF8.size() > MaxAES256Password) UTF8.resize(MaxAES256Password);
  return UTF8;
}
