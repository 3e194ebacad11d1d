// The run report.
#include "Report.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

// Length of the UTF-8 sequence at Text[At], or 0 when none starts there.
size_t SequenceLength(const std::string& Text, size_t At) {
  const auto Byte = [&](size_t I) { return static_cast<unsigned char>(Text[I]); };
  const unsigned char B = Byte(At);
  size_t Length;
  uint32_t Min;
  if (B < 0x80) return 1;
  if ((B & 0xE0) == 0xC0) Length = 2, Min = 0x80;
  else if ((B & 0xF0) == 0xE0) Length = 3, Min = 0x800;
  else if ((B & 0xF8) == 0xF0) Length = 4, Min = 0x10000;
  else return 0;
  if (At + Length > Text.size()) return 0;
  uint32_t Code = B & (0x7F >> Length);
  for (size_t I = 1; I < Length; ++I) {
    if ((Byte(At + I) & 0xC0) != 0x80) return 0;
    Code = Code << 6 | (Byte(At + I) & 0x3F);
  }
  if (Code < Min || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) return 0;
  return Length;
}

void AppendString(std::string& Out, const std::string& Text) {
  static constexpr char Hex[] = "0123456789abcdef";
  Out += '"';
  for (size_t I = 0; I < Text.size();) {
    const unsigned char C = static_cast<unsigned char>(Text[I]);
    const size_t Length = SequenceLength(Text, I);
    if (Length == 0) {
      // A byte of no UTF-8 sequence: its surrogate escape.
      Out += "\\udc";
      Out += Hex[C >> 4];
      Out += Hex[C & 0xF];
      ++I;
    } else if (C == '"' || C == '\\') {
      Out += '\\';
      Out += static_cast<char>(C);
      ++I;
    } else if (C < 0x20 || C == 0x7F) {
      Out += C == '\n' ? "\\n" : C == '\r' ? "\\r" : C == '\t' ? "\\t" : "";
      if (C != '\n' && C != '\r' && C != '\t') {
        Out += "\\u00";
        Out += Hex[C >> 4];
        Out += Hex[C & 0xF];
      }
      ++I;
    } else {
      Out.append(Text, I, Length);
      I += Length;
    }
  }
  Out += '"';
}

}  // namespace

std::string ReportLine(const TReportEntry& E) {
  std::string Out = "{\"path\": ";
  AppendString(Out, E.Path);
  Out += ", \"output\": ";
  AppendString(Out, E.Output);
  Out += ", \"status\": ";
  AppendString(Out, E.Status);
  Out += ", \"kind\": ";
  if (E.Kind.empty()) Out += "null";
  else AppendString(Out, E.Kind);
  Out += ", \"message\": ";
  AppendString(Out, E.Message);
  // Numbers written without the locale: JSON has one decimal point.
  const long long Millis = std::llround(std::max(E.Seconds, 0.0) * 1000);
  char Fraction[8];
  std::snprintf(Fraction, sizeof Fraction, "%03lld", Millis % 1000);
  Out += ", \"pages\": " + std::to_string(E.Pages) + ", \"chars\": " + std::to_string(E.Chars) +
         ", \"seconds\": " + std::to_string(Millis / 1000) + "." + Fraction +
         ", \"repaired\": " + (E.Repaired ? "true" : "false") + "}";
  return Out;
}

TReportWriter::~TReportWriter() {
  if (FFile) std::fclose(FFile);
}

bool TReportWriter::Open(const std::string& Path) {
  FFile = std::fopen(Path.c_str(), "ae");
  if (!FFile) FError = "Cannot open the report \"" + Path + "\". " + std::strerror(errno);
  return FFile != nullptr;
}

bool TReportWriter::Write(const TReportEntry& Entry) {
  if (!FFile) return false;
  const std::string Line = ReportLine(Entry) + "\n";
  return std::fwrite(Line.data(), 1, Line.size(), FFile) == Line.size() && std::fflush(FFile) == 0;
}
