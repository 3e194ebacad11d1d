// Small helpers of the application.
#include "Utility.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <sys/stat.h>

std::vector<std::string> SplitString(std::string_view Line, std::string_view Separator, char Escape,
                                     std::string_view Quotes) {
  // Bytes that may end a run of plain text; runs between them are copied whole.
  bool Special[256] = {};
  Special[static_cast<unsigned char>(Escape)] = true;
  for (char Q : Quotes) Special[static_cast<unsigned char>(Q)] = true;
  if (!Separator.empty()) Special[static_cast<unsigned char>(Separator[0])] = true;

  std::vector<std::string> Fields;
  std::string Current;
  bool InQuote = false;
  size_t I = 0;
  while (I < Line.size()) {
    size_t Run = I;
    while (Run < Line.size() && !Special[static_cast<unsigned char>(Line[Run])]) ++Run;
    Current.append(Line.substr(I, Run - I));
    if ((I = Run) == Line.size()) break;
    const char C = Line[I];
    if (C == Escape) {
      Current += I + 1 < Line.size() ? Line[I + 1] : '\0';
      I += 2;
    } else if (Quotes.find(C) != std::string_view::npos) {
      InQuote = !InQuote;
      ++I;
    } else if (!InQuote && Line.substr(I, Separator.size()) == Separator) {
      Fields.push_back(std::move(Current));
      Current.clear();
      I += Separator.size();
    } else {
      Current += C;
      ++I;
    }
  }
  Fields.push_back(std::move(Current));
  return Fields;
}

std::string ExtractFileName(const std::string& Path) {
  size_t Slash = Path.find_last_of('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

std::string ChangeFileExt(const std::string& Path, const std::string& Ext) {
  const size_t NameStart = Path.find_last_of('/') == std::string::npos ? 0 : Path.find_last_of('/') + 1;
  const size_t Dot = Path.find_last_of('.');
  if (Dot == std::string::npos || Dot < NameStart) return Path + Ext;
  return Path.substr(0, Dot) + Ext;
}

char* WriteFixed2(char* First, double Value) {
  const double A = std::fabs(Value);
  // Beyond 10^15 (or not finite) the library writes it; below it the
  // hundredths fit 64 bits.
  if (!(A < 1e15)) return std::to_chars(First, First + 400, Value, std::chars_format::fixed, 2).ptr;
  uint64_t Hundredths = 0;
  if (A >= 1e-3) {
    // A = M * 2^E exactly (a normal double), so A * 100 = M * 100 * 2^E.
    uint64_t Bits;
    std::memcpy(&Bits, &A, sizeof Bits);
    const uint64_t M = (Bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
    const int E = static_cast<int>((Bits >> 52) & 0x7FF) - 1075;
    const uint64_t N = M * 100;  // below 2^60
    if (E >= 0) {
      Hundredths = N << E;  // A < 10^15: below 10^17
    } else {
      const int Shift = -E;  // at most 62 for A >= 10^-3
      Hundredths = N >> Shift;
      const uint64_t Rest = N - (Hundredths << Shift), Half = uint64_t{1} << (Shift - 1);
      if (Rest > Half || (Rest == Half && (Hundredths & 1))) ++Hundredths;
    }
  }  // below 10^-3 (zero included) the value rounds to 0.00
  char* Out = First;
  if (std::signbit(Value)) *Out++ = '-';
  char Digits[24];
  int Count = 0;
  uint64_t Whole = Hundredths / 100;
  do {
    Digits[Count++] = static_cast<char>('0' + Whole % 10);
    Whole /= 10;
  } while (Whole);
  while (Count) *Out++ = Digits[--Count];
  *Out++ = '.';
  *Out++ = static_cast<char>('0' + Hundredths % 100 / 10);
  *Out++ = static_cast<char>('0' + Hundredths % 10);
  return Out;
}

bool SameFile(const std::string& A, const std::string& B) {
  struct stat SA {}, SB {};
  return ::stat(A.c_str(), &SA) == 0 && ::stat(B.c_str(), &SB) == 0 && SA.st_dev == SB.st_dev &&
         SA.st_ino == SB.st_ino;
}
