// Page text layouts.
#include "PDFCommon.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ReadingOrder.h"

#include "Utility.h"
#include "uPDFEngine.h"
#include "uPDFExtra.h"

namespace {

constexpr size_t RowFields = 12;
constexpr size_t FieldX = 3, FieldY = 4, FieldText = 11;
// Baselines closer than this are one line.
constexpr double LineTolerance = 2.0;

// The lines of Rows up to its first zero byte, split at CR, LF or CR LF.
std::vector<std::string_view> RowLines(std::string_view Rows) {
  Rows = Rows.substr(0, Rows.find('\0'));
  std::vector<std::string_view> Lines;
  size_t Start = 0;
  while (Start < Rows.size()) {
    size_t End = Rows.find_first_of("\r\n", Start);
    if (End == std::string_view::npos) End = Rows.size();
    Lines.push_back(Rows.substr(Start, End - Start));
    if (End < Rows.size() && Rows[End] == '\r' && End + 1 < Rows.size() && Rows[End + 1] == '\n') ++End;
    Start = End + 1;
  }
  return Lines;
}

using TRow = TPDFTextFunnel::TRow;

// Every line that holds a whole row: its start corner and its text.
std::vector<TRow> ReadRows(std::string_view Rows) {
  std::vector<TRow> Out;
  for (std::string_view Line : RowLines(Rows)) {
    std::vector<std::string> Fields = SplitString(Line, ",", '\\', "\"");
    if (Fields.size() >= RowFields)
      Out.push_back({StrToNumber(Fields[FieldX]), StrToNumber(Fields[FieldY]), std::move(Fields[FieldText])});
  }
  return Out;
}

// Value written with 2 decimals, rounded, right-aligned in Width characters,
// with the locale's decimal separator (LC_NUMERIC), as printf's "%*.2f" writes
// it.
std::string LocaleFixed2(double Value, int Width) {
  char Buf[400];  // the largest double has 309 digits
  const auto Res = std::to_chars(Buf, Buf + sizeof Buf, Value, std::chars_format::fixed, 2);
  std::string Out(Buf, Res.ec == std::errc() ? Res.ptr : Buf);
  if (const char* Point = std::localeconv()->decimal_point; Point && std::string_view(Point) != ".")
    if (const size_t At = Out.find('.'); At != std::string::npos) Out.replace(At, 1, Point);
  if (Width > 0 && Out.size() < static_cast<size_t>(Width)) Out.insert(0, Width - Out.size(), ' ');
  return Out;
}

// Case-insensitive order of bytes that folds the ASCII letters only (to lower
// case). This stands in for a locale-aware comparison on purpose: glibc's
// collation (strcoll) ignores spaces, which would break the order of the
// right-aligned numbers the keys start with.
bool KeyLess(const std::string& A, const std::string& B) {
  return std::lexicographical_compare(A.begin(), A.end(), B.begin(), B.end(), [](char X, char Y) {
    return AsciiLower(static_cast<unsigned char>(X)) < AsciiLower(static_cast<unsigned char>(Y));
  });
}

// The rows of page text mode 3 of the selected page, as values; read from
// their text only where a row would not read back whole.
std::vector<TRow> PageRows(TPDFEngine& Engine) {
  TPDFTextFunnel Funnel;
  Engine.GetPageBlocks(Funnel);
  std::vector<TRow> Rows;
  if (!Funnel.TakeRows(Rows)) Rows = ReadRows(Funnel.GetRows());
  return Rows;
}

}  // namespace

std::string ReflowLayout(std::string_view Rows, double PageHeight) { return ReflowLayout(ReadRows(Rows), PageHeight); }

std::string ReflowLayout(const std::vector<TPDFTextFunnel::TRow>& Rows, double PageHeight) {
  // Every fragment becomes a key: distance from the top of the page in
  // characters 1-10, x in characters 11-20, the text from character 21 on.
  std::vector<double> Known;  // baselines in the order found
  std::vector<std::string> Keys;
  Keys.reserve(Rows.size());
  for (const TRow& Row : Rows) {
    double Y = Row.Y;
    auto Near = std::find_if(Known.begin(), Known.end(), [Y](double R) { return std::fabs(Y - R) <= LineTolerance; });
    if (Near != Known.end()) {
      Y = *Near;
    } else {
      Known.push_back(Y);
    }
    Keys.push_back(LocaleFixed2(PageHeight - Y, 10) + LocaleFixed2(Row.X, 10) + Row.Text);
  }
  std::stable_sort(Keys.begin(), Keys.end(), KeyLess);

  // The key is read back at its fixed positions, even where a number wider
  // than 10 characters has moved the fields.
  std::string Result;
  double LineY = 0;
  for (const std::string& Key : Keys) {
    const double Y = std::strtod(Key.substr(0, 10).c_str(), nullptr);
    const std::string_view T = std::string_view(Key).substr(std::min<size_t>(20, Key.size()));
    if (Result.empty()) {  // also after keys with an empty text
      Result = T;
      LineY = Y;
    } else if (Y - LineY >= LineTolerance) {
      Result += "\r\n";
      Result += T;
      LineY = Y;
    } else {
      Result += "  ";
      Result += T;
    }
  }
  return Result;
}

std::string PositionedLayout(std::string_view Rows) { return PositionedLayout(ReadRows(Rows)); }

std::string PositionedLayout(const std::vector<TPDFTextFunnel::TRow>& Rows) {
  std::string Result;
  for (const TRow& Row : Rows) {
    if (Row.Text.empty()) continue;
    Result += "@X=" + LocaleFixed2(Row.X, 0);
    Result += ",Y=" + LocaleFixed2(Row.Y, 0);
    Result += "@" + Row.Text + "@ENDTEXT@\r\n";
  }
  // Bytes up to and including space go at both ends, so the last record has no
  // CR LF after it.
  const auto NotBlank = [](char C) { return static_cast<unsigned char>(C) > ' '; };
  const auto First = std::find_if(Result.begin(), Result.end(), NotBlank);
  const auto Last = std::find_if(Result.rbegin(), Result.rend(), NotBlank).base();
  return First < Last ? std::string(First, Last) : std::string();
}

void GetPageTextByType(TPDFEngine& Engine, uint8_t TextType, std::string& Text) {
  switch (TextType) {
    case 0:
      Text = Engine.GetPageText(0);
      break;
    case 1:
      Text = ReflowLayout(PageRows(Engine), Engine.PageHeight());
      break;
    case 2:
      Text = PositionedLayout(PageRows(Engine));
      break;
    case 3:
      Text = ReadingOrderLayout(Engine.GetPageWords());
      break;
    default:
      break;
  }
}
