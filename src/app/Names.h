// The codes of the run's settings by name, and the one table of the names
// that the console program, the window and the Python module take and show
// for the page text layouts and the output formats.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "uPDFOCR.h"

// The stored TextType: how each page's text is laid out. Any value 0..255
// may be stored; values above Reading add no page text.
enum class TTextType : uint8_t { Content = 0, Reflow = 1, Positioned = 2, Reading = 3 };

// The stored Range: all pages, or From..To. Other stored values are kept and
// refused by the run.
enum class TPageRange : int32_t { All = 1, FromTo = 2 };

// The stored Page: which pages of the range are taken. Other stored values
// are kept and take no page.
enum class TPageChoice : int32_t { Every = 1, Odd = 2, Even = 3 };

// What a run writes for each file: the window's items (header, page text,
// footer, CR LF), the plain text for Unix tools (LF line ends, a form feed
// after each page), or the reading-order layout as JSON (words with their
// boxes, lines, blocks, tables, metadata) or as Markdown.
enum class TOutputFormat : uint8_t { Text = 0, Plain = 1, Json = 2, Markdown = 3 };

// Whether a format writes the reading-order layout's structure (in UTF-8,
// without header and footer lines).
inline bool IsStructured(TOutputFormat Format) {
  return Format == TOutputFormat::Json || Format == TOutputFormat::Markdown;
}

// The stored OCR setting is a TPDFOCRMode: 0 never, 1 when a page needs it,
// 2 always.

// A name and the code it stands for.
template <typename T>
struct TNamed {
  const char* Name;
  T Value;
};

// The layouts by name, in the order of their codes: "content", "reflow",
// "positioned", "reading".
const std::vector<TNamed<TTextType>>& LayoutNames();
// The output formats by name: "text", "plain", "json", "markdown".
const std::vector<TNamed<TOutputFormat>>& FormatNames();

// The OCR settings by name: "never", "auto", "always".
const std::vector<TNamed<TPDFOCRMode>>& OCRModeNames();

// The layout, format or OCR setting Name stands for; none for other names
// (case matters).
std::optional<TTextType> LayoutFromName(std::string_view Name);
std::optional<TOutputFormat> FormatFromName(std::string_view Name);
std::optional<TPDFOCRMode> OCRModeFromName(std::string_view Name);
// The name of a layout or format; "" for a number without one.
const char* NameOf(TTextType Layout);
const char* NameOf(TOutputFormat Format);
const char* NameOf(TPDFOCRMode Mode);
// The file name suffix of a format's output: ".txt" for text and plain,
// ".json", ".md".
const char* FormatSuffix(TOutputFormat Format);

// The names joined for a message: "content, reflow, positioned or reading",
// each in Quote.
std::string NamesForMessage(const std::vector<std::string>& Names, const char* Quote = "");
std::vector<std::string> LayoutNameList();
std::vector<std::string> FormatNameList();
std::vector<std::string> OCRModeNameList();
