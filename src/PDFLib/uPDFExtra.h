// Number text, content-stream token, case-folding and matrix helpers shared by every engine unit.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Bytes the PDF lexer treats as whitespace: NUL, TAB, LF, FF, CR and space.
constexpr bool IsPDFWhite(unsigned char C) {
  return C == 0x00 || C == 0x09 || C == 0x0A || C == 0x0C || C == 0x0D || C == 0x20;
}

// Delimiters: ( ) < > [ ] / % {   (the closing brace is not one).
constexpr bool IsPDFDelimiter(unsigned char C) {
  return C == '(' || C == ')' || C == '<' || C == '>' || C == '[' || C == ']' || C == '/' ||
         C == '%' || C == '{';
}

constexpr bool IsPDFDigit(unsigned char C) { return C >= '0' && C <= '9'; }

constexpr bool IsPDFHexDigit(unsigned char C) {
  return IsPDFDigit(C) || (C >= 'a' && C <= 'f') || (C >= 'A' && C <= 'F');
}

// Value of a hex digit (either case); -1 for any other byte.
constexpr int HexDigitValue(unsigned char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// ASCII letters folded to lower case; every other byte as it is.
constexpr unsigned char AsciiLower(unsigned char C) {
  return C >= 'A' && C <= 'Z' ? static_cast<unsigned char>(C + ('a' - 'A')) : C;
}
// Text with its ASCII letters in lower case.
std::string AsciiLowerText(std::string_view Text);
// Whether A and B are equal once their ASCII letters are folded.
bool SameTextIgnoringCase(std::string_view A, std::string_view B);

// A transformation matrix [a b c d e f], mapping (x, y) to
// (a x + c y + e, b x + d y + f).
using TPDFMatrix = std::array<double, 6>;
// M x N in the row-vector convention: a point is mapped by M, then by N.
TPDFMatrix MultiplyMatrix(const TPDFMatrix& M, const TPDFMatrix& N);

// The big-endian unsigned integer of Size bytes (1 to 4) at At in Data; bytes
// past the end of Data read as 0, so that readers of binary programs never
// run off their input.
inline uint32_t ReadBigEndian(std::string_view Data, uint64_t At, uint32_t Size) {
  uint32_t V = 0;
  for (uint32_t I = 0; I < Size; ++I) V = V << 8 | (At + I < Data.size() ? static_cast<unsigned char>(Data[At + I]) : 0u);
  return V;
}

// Reads Text as a 32-bit signed decimal integer: optional leading spaces, an
// optional "-", then digits only. Empty text, a bare "-", any other byte or a
// value outside the 32-bit range give no value.
std::optional<int32_t> ReadInt32(std::string_view Text);

// PDF number text to a double; 0 for anything that is not number text. The
// integer part is read as a 32-bit integer, at most nine fraction digits count,
// and a "-" anywhere negates.
double StrToNumber(std::string_view Text);

// Whether Text (trimmed of bytes <= space) holds only digits, "." and "-", with
// a "-" only in front and at most one ".". The empty text counts as a number.
bool IsNumberText(std::string_view Text);

// The text std::to_chars gives for Value in general form with 15 significant
// digits, where that form is fixed-point (1e-4 <= |Value| < 1e14), computed
// in integer arithmetic; false (Out unspecified) for other values.
bool FixedGeneralText(double Value, std::string& Out);

// Writes Value in its shortest general form (15 significant digits, "." as the
// decimal separator whatever the locale), then fixes it to Decimals digits
// after the point, cutting rather than rounding, and pads it with leading "0"
// to MinWidth characters. Exponent-form values come out as "0.00" (before the
// decimal fixing).
std::string FormatNumber(int MinWidth, int Decimals, double Value);

// The number StrToNumber reads from FormatNumber(0, 4, Value): Value as the
// 4-decimal text of the page rows gives it back, computed without the text.
double NumberAsWritten(double Value);

// Content-stream literal string token "(...)" to its bytes.
std::string UnescapeLiteralString(std::string_view Token);
// The position just after the ")" that closes the literal string whose "("
// stands at Open (nested parentheses counted, a byte after a backslash
// ordinary), or Text's size when it is not closed.
size_t LiteralStringEnd(std::string_view Text, size_t Open);
// Whether the string token Token (from its "(" or "<") runs to the end of its
// content without its close: a literal string whose parentheses never
// balance (escaped ones not counted), a hex string without its ">". Other
// tokens are never open.
bool StringTokenUnclosed(std::string_view Token);

// Content-stream hex string token "<...>" to its bytes; empty when Token is not
// framed by "<" and ">".
std::string HexStringToBytes(std::string_view Token);

// The length of the UTF-8 character at Text[At] (At < Text's size), or 0
// when the bytes there are no character: a stray continuation byte, an
// overlong or cut form, a surrogate, a code point past U+10FFFF.
size_t UTF8CharLength(std::string_view Text, size_t At);
// Whether Text is UTF-8 throughout.
bool IsUTF8(std::string_view Text);
// Appends the UTF-8 character at Text[At] (At < Text's size), or U+FFFD for
// a byte that is no part of one; the bytes taken.
size_t AppendUTF8Char(std::string& Out, std::string_view Text, size_t At);
