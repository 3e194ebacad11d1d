// Number text and content-stream token helpers.
#include "uPDFExtra.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

std::string AsciiLowerText(std::string_view Text) {
  std::string Out(Text);
  for (char& C : Out) C = static_cast<char>(AsciiLower(static_cast<unsigned char>(C)));
  return Out;
}

bool SameTextIgnoringCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (AsciiLower(static_cast<unsigned char>(A[I])) != AsciiLower(static_cast<unsigned char>(B[I]))) return false;
  return true;
}

TPDFMatrix MultiplyMatrix(const TPDFMatrix& M, const TPDFMatrix& N) {
  return {M[0] * N[0] + M[1] * N[2], M[0] * N[1] + M[1] * N[3], M[2] * N[0] + M[3] * N[2],
          M[2] * N[1] + M[3] * N[3], M[4] * N[0] + M[5] * N[2] + N[4], M[4] * N[1] + M[5] * N[3] + N[5]};
}

std::optional<int32_t> ReadInt32(std::string_view Text) {
  size_t I = 0;
  while (I < Text.size() && Text[I] == ' ') ++I;
  bool Negative = false;
  if (I < Text.size() && Text[I] == '-') {
    Negative = true;
    ++I;
  }
  if (I >= Text.size()) return std::nullopt;
  int64_t Value = 0;
  for (; I < Text.size(); ++I) {
    unsigned char C = static_cast<unsigned char>(Text[I]);
    if (!IsPDFDigit(C)) return std::nullopt;
    Value = Value * 10 + (C - '0');
    if (Value > int64_t{2147483648}) return std::nullopt;
  }
  if (Negative) Value = -Value;
  if (Value > INT32_MAX || Value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(Value);
}

bool IsNumberText(std::string_view Text) {
  size_t B = 0, E = Text.size();
  while (B < E && static_cast<unsigned char>(Text[B]) <= ' ') ++B;
  while (E > B && static_cast<unsigned char>(Text[E - 1]) <= ' ') --E;
  Text = Text.substr(B, E - B);
  size_t FirstMinus = Text.find('-');
  if (FirstMinus != std::string_view::npos && FirstMinus != 0) return false;
  bool SeenPoint = false;
  for (char Ch : Text) {
    if (Ch == '.') {
      if (SeenPoint) return false;
      SeenPoint = true;
    } else if (Ch != '-' && !IsPDFDigit(static_cast<unsigned char>(Ch))) {
      return false;
    }
  }
  return true;
}

double StrToNumber(std::string_view Text) {
  // The shape content streams write, "-" at most in front, up to 9 integer
  // digits, a "." and any digits, read in one pass; every other text goes the
  // general way below, which gives these the same value.
  {
    const size_t N = Text.size();
    const bool Negative = N > 0 && Text[0] == '-';
    size_t I = Negative ? 1 : 0;
    const size_t IntStart = I;
    int64_t Int = 0;
    while (I < N && I - IntStart < 9 && IsPDFDigit(static_cast<unsigned char>(Text[I]))) Int = Int * 10 + (Text[I++] - '0');
    // Without a point: the 32-bit integer ("" and "-" have none: 0).
    if (I == N) return static_cast<double>(Negative ? -Int : Int);
    if (Text[I] == '.') {
      const size_t FractionStart = ++I;
      int64_t Fraction = 0;
      double Scale = 1;
      for (; I < N && IsPDFDigit(static_cast<unsigned char>(Text[I])); ++I)
        if (I - FractionStart < 9) {
          Fraction = Fraction * 10 + (Text[I] - '0');
          Scale *= 10;
        }
      if (I == N) {
        const double Result = static_cast<double>(Int) + static_cast<double>(Fraction) / Scale;
        return Negative ? -Result : Result;
      }
    }
  }
  if (!IsNumberText(Text)) return 0;
  size_t Point = Text.find('.');
  if (Point == std::string_view::npos) return ReadInt32(Text).value_or(0);
  double Result = std::fabs(static_cast<double>(ReadInt32(Text.substr(0, Point)).value_or(0)));
  std::string_view Fraction = Text.substr(Point + 1, 9);
  double Scale = 1;
  for (size_t I = 0; I < Fraction.size(); ++I) Scale *= 10;
  Result += ReadInt32(Fraction).value_or(0) / Scale;
  if (Text.find('-') != std::string_view::npos) Result = -Result;
  return Result;
}

namespace {

// Exact products of a 53-bit mantissa and a power of five (GCC's and Clang's
// 128-bit integer).
__extension__ typedef unsigned __int128 TUInt128;

// 5^0 .. 5^19.
constexpr auto PowersOfFive = [] {
  std::array<uint64_t, 20> P{};
  P[0] = 1;
  for (size_t I = 1; I < P.size(); ++I) P[I] = P[I - 1] * 5;
  return P;
}();

// The 15 significant digits of the general form of A (1e-4 <= A < 1e14,
// finite): A rounded to Q * 10^(X - 14), ties to even, in exact integer
// arithmetic, with 10^14 <= Q < 10^15 and X the decimal exponent (-4..14);
// false for values outside that range.
bool GeneralDigits(double A, uint64_t& Digits, int& Exponent) {
  if (!std::isfinite(A) || !(A >= 1e-4) || !(A < 1e14)) return false;
  // A = M * 2^E exactly, from the bits of a normal double.
  uint64_t Bits;
  std::memcpy(&Bits, &A, sizeof Bits);
  const uint64_t M = (Bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  const int E = static_cast<int>((Bits >> 52) & 0x7FF) - 1075;
  constexpr uint64_t Low = 100000000000000, High = 1000000000000000;  // 10^14, 10^15
  // The decimal exponent, from the powers of ten as doubles; near a power it
  // may be one off, which the rounding below finds and mends.
  static constexpr double Powers[] = {1e-3, 1e-2, 1e-1, 1e0, 1e1, 1e2,  1e3,  1e4,  1e5,
                                      1e6,  1e7,  1e8,  1e9, 1e10, 1e11, 1e12, 1e13, 1e14};
  int X = -4;
  while (X < 14 && A >= Powers[X + 4]) ++X;
  for (int Try = 0; Try < 3; ++Try) {
    const int P = 14 - X;  // decimals of 15 significant digits
    if (X < -4 || X > 14 || P > 19) return false;
    // Q = A * 10^P rounded to the nearest integer, ties to even, in exact
    // integer arithmetic: M * 5^P * 2^(P + E) with M < 2^53, 5^P < 2^45.
    const TUInt128 N = static_cast<TUInt128>(M) * PowersOfFive[static_cast<size_t>(P)];
    const int Shift = -(P + E);
    TUInt128 Q;
    if (Shift <= 0) {
      Q = N << -Shift;  // at most 2^16 more: below 2^114
    } else {
      if (Shift >= 120) return false;
      Q = N >> Shift;
      const TUInt128 Rest = N - (Q << Shift), Half = static_cast<TUInt128>(1) << (Shift - 1);
      if (Rest > Half || (Rest == Half && (Q & 1))) ++Q;
    }
    if (Q >= High) {
      ++X;
      continue;
    }
    if (Q < Low) {
      --X;
      continue;
    }
    Digits = static_cast<uint64_t>(Q);
    Exponent = X;
    return true;
  }
  return false;
}

}  // namespace

bool FixedGeneralText(double Value, std::string& Out) {
  // Only where the general form is fixed-point (exponent -4..14); the edges
  // and everything else are left to the library.
  uint64_t Q;
  int X;
  if (!GeneralDigits(std::fabs(Value), Q, X)) return false;
  char Digits[15];
  for (int I = 14; I >= 0; --I, Q /= 10) Digits[I] = static_cast<char>('0' + Q % 10);
  // Sign, integer part, point, zeros after it, digits: at most 21 bytes.
  char Text[32];
  size_t Length = 0;
  if (Value < 0) Text[Length++] = '-';
  const int Whole = X >= 0 ? X + 1 : 0;
  if (Whole == 0) Text[Length++] = '0';
  for (int I = 0; I < Whole; ++I) Text[Length++] = Digits[I];
  int Last = 14;
  while (Last >= Whole && Digits[Last] == '0') --Last;
  if (Last >= Whole) {
    Text[Length++] = '.';
    for (int I = 0; I < -X - 1; ++I) Text[Length++] = '0';
    for (int I = Whole; I <= Last; ++I) Text[Length++] = Digits[I];
  }
  Out.assign(Text, Length);
  return true;
}

double NumberAsWritten(double Value) {
  // Zero (either sign) is written "0.0000".
  if (Value == 0) return 0;
  // Below 10^9 the integer part fits the 32 bits StrToNumber reads, and the
  // general form is fixed-point from 10^-4 on; the rest goes through the text.
  uint64_t Q;
  int X;
  if (!(std::fabs(Value) < 1e9) || !GeneralDigits(std::fabs(Value), Q, X) || X > 9)
    return StrToNumber(FormatNumber(0, 4, Value));
  // Q * 10^(X - 14) cut to 4 decimals: the first X + 5 of the 15 digits.
  static constexpr uint64_t Pow10[] = {1,          10,          100,          1000,          10000,
                                       100000,     1000000,     10000000,     100000000,     1000000000,
                                       10000000000, 100000000000, 1000000000000, 10000000000000, 100000000000000};
  const uint64_t Cut = Q / Pow10[10 - X];
  // As StrToNumber reads "I.FFFF": the integer part, plus the four digits
  // over 10^4, negated for a "-".
  const double Result = static_cast<double>(Cut / 10000) + static_cast<double>(Cut % 10000) / 10000.0;
  return Value < 0 ? -Result : Result;
}

std::string FormatNumber(int MinWidth, int Decimals, double Value) {
  std::string S;
  if (!std::isfinite(Value)) {
    S = "0.00";
  } else if (Value == 0) {
    S = "0";
  } else if (!FixedGeneralText(Value, S)) {
    if (Value == 0) Value = 0;  // no "-0"
    char Buf[64];
    auto Res = std::to_chars(Buf, Buf + sizeof Buf, Value, std::chars_format::general, 15);
    S.assign(Buf, Res.ptr);
    if (S.find('e') != std::string::npos) S = "0.00";
  }
  size_t Point = S.find('.');
  if (Point != std::string::npos && Decimals <= 0) {
    S.resize(Point);
  } else if (Decimals > 0) {
    if (Point == std::string::npos) {
      Point = S.size();
      S += '.';
    }
    S += "0000000000";
    if (S.size() > Point + 1 + static_cast<size_t>(Decimals)) S.resize(Point + 1 + Decimals);
  }
  if (MinWidth > 0 && S.size() < static_cast<size_t>(MinWidth)) S.insert(0, MinWidth - S.size(), '0');
  return S;
}

size_t LiteralStringEnd(std::string_view Text, size_t Open) {
  int Depth = 0;
  for (size_t Pos = Open; Pos < Text.size(); ++Pos) {
    const char B = Text[Pos];
    if (B == '\\') {
      ++Pos;  // the next byte is ordinary
    } else if (B == '(') {
      ++Depth;
    } else if (B == ')' && --Depth == 0) {
      return Pos + 1;
    }
  }
  return Text.size();
}

bool StringTokenUnclosed(std::string_view Token) {
  if (Token.empty()) return false;
  if (Token[0] == '<') return Token.back() != '>';
  if (Token[0] != '(') return false;
  int Depth = 0;
  for (size_t Pos = 0; Pos < Token.size(); ++Pos) {
    const char B = Token[Pos];
    if (B == '\\') {
      ++Pos;
    } else if (B == '(') {
      ++Depth;
    } else if (B == ')' && --Depth == 0) {
      return false;
    }
  }
  return true;
}

std::string UnescapeLiteralString(std::string_view Token) {
  std::string Out;
  if (Token.size() < 2) return Out;
  std::string_view S = Token.substr(1, Token.size() - 2);
  Out.reserve(S.size());
  auto Digit = [&](size_t I) { return I < S.size() && IsPDFDigit(static_cast<unsigned char>(S[I])); };
  size_t I = 0;
  while (I < S.size()) {
    char C = S[I];
    if (C != '\\') {
      Out += C;
      ++I;
      continue;
    }
    if (I + 1 >= S.size()) break;  // a lone trailing backslash is dropped
    char N = S[I + 1];
    switch (N) {
      case 'b': Out += '\b'; I += 2; continue;
      case 't': Out += '\t'; I += 2; continue;
      case 'n': Out += '\n'; I += 2; continue;
      case 'f': Out += '\f'; I += 2; continue;
      case 'r': Out += '\r'; I += 2; continue;
      case '(': case ')': case '\\': Out += N; I += 2; continue;
      case '\r':
        I += 2;
        if (I < S.size() && S[I] == '\n') ++I;
        continue;
      case '\n': I += 2; continue;
      default: break;
    }
    // Octal escapes: the digits are read as a decimal number first, so 8 and 9
    // pass as long as the value stays within 777, 77 or 7.
    auto D = [&](size_t K) { return static_cast<int>(static_cast<unsigned char>(S[I + K])) - '0'; };
    if (Digit(I + 1) && Digit(I + 2) && Digit(I + 3) && D(1) * 100 + D(2) * 10 + D(3) <= 777) {
      Out += static_cast<char>((D(1) * 64 + D(2) * 8 + D(3)) & 0xFF);
      I += 4;
    } else if (Digit(I + 1) && Digit(I + 2) && D(1) * 10 + D(2) <= 77) {
      Out += static_cast<char>(D(1) * 8 + D(2));
      I += 3;
    } else if (Digit(I + 1) && D(1) <= 7) {
      Out += static_cast<char>(D(1));
      I += 2;
    } else {
      Out += N;
      I += 2;
    }
  }
  return Out;
}

std::string HexStringToBytes(std::string_view Token) {
  std::string Out;
  if (Token.size() < 2 || Token.front() != '<' || Token.back() != '>') return Out;
  std::string Digits;
  Digits.reserve(Token.size());
  for (size_t I = 1; I + 1 < Token.size(); ++I) {
    unsigned char C = static_cast<unsigned char>(Token[I]);
    if (IsPDFDigit(C) || (C >= 'A' && C <= 'Z')) Digits += static_cast<char>(C);
    else if (C >= 'a' && C <= 'z') Digits += static_cast<char>(C - 'a' + 'A');
  }
  if (Digits.size() % 2) Digits += '0';
  Out.reserve(Digits.size() / 2);
  for (size_t I = 0; I < Digits.size(); I += 2) {
    int Hi = HexDigitValue(Digits[I]), Lo = HexDigitValue(Digits[I + 1]);
    Out += (Hi < 0 || Lo < 0) ? '\0' : static_cast<char>(Hi * 16 + Lo);
  }
  return Out;
}

size_t UTF8CharLength(std::string_view Text, size_t At) {
  const auto Byte = [&](size_t I) { return static_cast<unsigned char>(Text[I]); };
  const unsigned char C = Byte(At);
  size_t Length;
  uint32_t Code;
  if (C < 0x80) return 1;
  if (C >= 0xC2 && C <= 0xDF) {
    Length = 2;
    Code = C & 0x1F;
  } else if (C >= 0xE0 && C <= 0xEF) {
    Length = 3;
    Code = C & 0x0F;
  } else if (C >= 0xF0 && C <= 0xF4) {
    Length = 4;
    Code = C & 0x07;
  } else {
    return 0;
  }
  if (At + Length > Text.size()) return 0;
  for (size_t I = 1; I < Length; ++I) {
    if ((Byte(At + I) & 0xC0) != 0x80) return 0;
    Code = (Code << 6) | (Byte(At + I) & 0x3F);
  }
  if ((Length == 3 && (Code < 0x800 || (Code >= 0xD800 && Code <= 0xDFFF))) ||
      (Length == 4 && (Code < 0x10000 || Code > 0x10FFFF)))
    return 0;
  return Length;
}

bool IsUTF8(std::string_view Text) {
  for (size_t At = 0; At < Text.size();) {
    const size_t Length = UTF8CharLength(Text, At);
    if (Length == 0) return false;
    At += Length;
  }
  return true;
}

size_t AppendUTF8Char(std::string& Out, std::string_view Text, size_t At) {
  const size_t Length = UTF8CharLength(Text, At);
  if (Length == 0) {
    Out += "\xEF\xBF\xBD";
    return 1;
  }
  Out.append(Text.substr(At, Length));
  return Length;
}
