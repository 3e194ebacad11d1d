// Fuzz target: the reading-order layout on made-up words, and its data as
// JSON and as Markdown (the page twice, so that its heads repeat). Each word
// takes nine bytes (x and y as 16-bit numbers, width, height, font size,
// angle, a flag for odd numbers, the text's length) and then its text; the
// low bits of x and y choose a font (plain, bold, italic, small capitals).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "Markdown.h"
#include "PageJSON.h"
#include "ReadingOrder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const char* const Fonts[] = {"F", "Helvetica-Bold", "ABCDEF+Times-Italic", "CMCSC10"};
  std::vector<TPDFTextFunnel::TWord> Words;
  size_t At = 0;
  while (At + 9 <= Size && Words.size() < 20000) {
    const uint8_t* P = Data + At;
    double X = static_cast<int16_t>(P[0] | P[1] << 8) / 8.0, Y = static_cast<int16_t>(P[2] | P[3] << 8) / 8.0;
    double W = P[4] / 4.0, H = P[5] / 8.0, FontSize = P[6] / 8.0;
    const double A = P[7] * 2 * M_PI / 256;
    switch (P[8] & 7) {  // the numbers a broken matrix makes
      case 1: X = std::numeric_limits<double>::quiet_NaN(); break;
      case 2: Y = std::numeric_limits<double>::infinity(); break;
      case 3: FontSize = 0; break;
      case 4: W = 0; H = 0; break;
      case 5: X *= 1e12; break;
      default: break;
    }
    const size_t Length = std::min<size_t>(P[8] >> 4, Size - At - 9);
    At += 9;
    const double C = std::cos(A), S = std::sin(A);
    auto Corner = [&](double U, double V) { return TPDFTextFunnel::TPoint{X + U * C - V * S, Y + U * S + V * C}; };
    TPDFTextFunnel::TWord Word{Corner(0, -0.2 * H), Corner(W, -0.2 * H), Corner(W, H), Corner(0, H),
                               std::string(reinterpret_cast<const char*>(Data + At), Length),
                               Fonts[(P[0] ^ P[2]) & 3], FontSize};
    At += Length;
    if (!Word.Text.empty()) Words.push_back(std::move(Word));
  }
  ReadingOrderLayout(Words);
  TReadingPage Page = ReadingOrderPage(Words, TPDFPageBox{0, 0, 612, 792, static_cast<int>(Size & 3) * 90});
  PageJSON(Page, "i");
  TMarkdownWriter Markdown;
  Markdown.AddPage(Page);
  Markdown.AddPage(std::move(Page));
  Markdown.Finish((Size & 4) != 0);
  return 0;
}
