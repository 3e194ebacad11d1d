// Page text layouts.
#include "PDFCommon.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string_view>
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

// The locale's decimal separator (LC_NUMERIC).
std::string_view DecimalPoint() {
  const char* Point = std::localeconv()->decimal_point;
  return Point ? Point : ".";
}

// Appends Value written with 2 decimals, rounded, right-aligned in Width
// characters, with the decimal separator Point, as printf's "%*.2f" writes it.
void AppendLocaleFixed2(std::string& Out, double Value, size_t Width, std::string_view Point) {
  char Buf[400];
  const std::string_view Text(Buf, WriteFixed2(Buf, Value) - Buf);
  const size_t At = Point != "." ? Text.find('.') : std::string_view::npos;
  const size_t Size = At == std::string_view::npos ? Text.size() : Text.size() - 1 + Point.size();
  if (Size < Width) Out.append(Width - Size, ' ');
  if (At == std::string_view::npos) {
    Out += Text;
  } else {
    Out += Text.substr(0, At);
    Out += Point;
    Out += Text.substr(At + 1);
  }
}

// The number strtod reads from Head in the current locale. A plain
// "[-]digits.dd" (the key's distance field when it fits its 10 characters, with
// a "." separator) is read as its hundredths over 100: the division rounds to
// the double nearest the decimal value, as strtod does.
double ReadKeyNumber(std::string_view Head, bool PlainPoint) {
  if (PlainPoint) {
    size_t I = 0;
    while (I < Head.size() && Head[I] == ' ') ++I;
    const bool Negative = I < Head.size() && Head[I] == '-';
    if (Negative) ++I;
    const size_t Digits = I;
    int64_t Hundredths = 0;
    while (I < Head.size() && IsPDFDigit(static_cast<unsigned char>(Head[I]))) Hundredths = Hundredths * 10 + (Head[I++] - '0');
    if (I > Digits && I + 3 == Head.size() && Head[I] == '.' && IsPDFDigit(static_cast<unsigned char>(Head[I + 1])) &&
        IsPDFDigit(static_cast<unsigned char>(Head[I + 2]))) {
      Hundredths = Hundredths * 100 + (Head[I + 1] - '0') * 10 + (Head[I + 2] - '0');
      const double Value = static_cast<double>(Hundredths) / 100.0;
      return Negative ? -Value : Value;
    }
  }
  return std::strtod(std::string(Head).c_str(), nullptr);
}

// Case-insensitive order of bytes that folds the ASCII letters only (to lower
// case), of the texts A1 A2 and B1 B2 (each the two parts joined). This stands
// in for a locale-aware comparison on purpose: glibc's collation (strcoll)
// ignores spaces, which would break the order of the right-aligned numbers the
// keys start with.
bool KeyLess(std::string_view A1, std::string_view A2, std::string_view B1, std::string_view B2) {
  std::string_view A = A1, B = B1;
  bool ALast = false, BLast = false;  // in the second part
  for (;;) {
    if (A.empty() && !ALast) {
      A = A2;
      ALast = true;
      continue;
    }
    if (B.empty() && !BLast) {
      B = B2;
      BLast = true;
      continue;
    }
    if (A.empty() || B.empty()) return A.empty() && !B.empty();
    const size_t N = std::min(A.size(), B.size());
    for (size_t I = 0; I < N; ++I) {
      const unsigned char X = AsciiLower(static_cast<unsigned char>(A[I]));
      const unsigned char Y = AsciiLower(static_cast<unsigned char>(B[I]));
      if (X != Y) return X < Y;
    }
    A.remove_prefix(N);
    B.remove_prefix(N);
  }
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
  // The numbers (the head) of all keys share one text; the key is its head
  // followed by its row's text.
  struct TKey {
    uint32_t Row, HeadAt, HeadSize;
    double Y;  // read back from characters 1-10
  };
  const std::string_view Point = DecimalPoint();
  // Baselines in the order found, kept sorted by value: known baselines lie
  // more than LineTolerance apart, so a window a little wider than the
  // tolerance holds at most a few, and the first found among those within
  // the tolerance is the one a row joins (as a scan in order would find).
  std::map<double, size_t> Known;  // baseline -> the order it was found in
  std::vector<TKey> Keys;
  Keys.reserve(Rows.size());
  std::string Heads;
  Heads.reserve(Rows.size() * 20);
  for (size_t I = 0; I < Rows.size(); ++I) {
    double Y = Rows[I].Y;
    // A baseline that is not finite is never within the tolerance of any.
    if (std::isfinite(Y)) {
      const double* Near = nullptr;
      size_t Order = 0;
      for (auto It = Known.lower_bound(Y - 2 * LineTolerance);
           It != Known.end() && It->first <= Y + 2 * LineTolerance; ++It)
        if (std::fabs(Y - It->first) <= LineTolerance && (!Near || It->second < Order)) {
          Near = &It->first;
          Order = It->second;
        }
      if (Near)
        Y = *Near;
      else
        Known.emplace(Y, Known.size());
    }
    const size_t At = Heads.size();
    AppendLocaleFixed2(Heads, PageHeight - Y, 10, Point);
    AppendLocaleFixed2(Heads, Rows[I].X, 10, Point);
    Keys.push_back({static_cast<uint32_t>(I), static_cast<uint32_t>(At), static_cast<uint32_t>(Heads.size() - At), 0});
  }
  // A head is at least 20 characters (two numbers padded to 10). The key is
  // read back at its fixed positions, even where a number wider than 10
  // characters has moved the fields.
  const auto Head = [&](const TKey& K) { return std::string_view(Heads).substr(K.HeadAt, K.HeadSize); };
  for (TKey& K : Keys) K.Y = ReadKeyNumber(Head(K).substr(0, 10), Point == ".");
  std::stable_sort(Keys.begin(), Keys.end(), [&](const TKey& A, const TKey& B) {
    return KeyLess(Head(A), Rows[A.Row].Text, Head(B), Rows[B.Row].Text);
  });

  std::string Result;
  double LineY = 0;
  std::string Joined;
  for (const TKey& K : Keys) {
    const double Y = K.Y;
    std::string_view T = Rows[K.Row].Text;
    if (K.HeadSize > 20) {
      Joined.assign(Head(K).substr(20));
      Joined += T;
      T = Joined;
    }
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
  const std::string_view Point = DecimalPoint();
  std::string Result;
  for (const TRow& Row : Rows) {
    if (Row.Text.empty()) continue;
    Result += "@X=";
    AppendLocaleFixed2(Result, Row.X, 0, Point);
    Result += ",Y=";
    AppendLocaleFixed2(Result, Row.Y, 0, Point);
    Result += '@';
    Result += Row.Text;
    Result += "@ENDTEXT@\r\n";
  }
  // Bytes up to and including space go at both ends, so the last record has no
  // CR LF after it.
  const auto NotBlank = [](char C) { return static_cast<unsigned char>(C) > ' '; };
  const auto First = std::find_if(Result.begin(), Result.end(), NotBlank);
  const auto Last = std::find_if(Result.rbegin(), Result.rend(), NotBlank).base();
  return First < Last ? std::string(First, Last) : std::string();
}

void GetPageTextByType(TPDFEngine& Engine, TTextType TextType, std::string& Text) {
  switch (TextType) {
    case TTextType::Content:
      Text = Engine.GetPageText(TPDFTextMode::Plain);
      break;
    case TTextType::Reflow:
      Text = ReflowLayout(PageRows(Engine), Engine.PageHeight());
      break;
    case TTextType::Positioned:
      Text = PositionedLayout(PageRows(Engine));
      break;
    case TTextType::Reading:
      Text = ReadingOrderLayout(Engine.GetPageWords());
      break;
    default:
      break;
  }
}
