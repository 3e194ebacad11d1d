// The names of layouts, output formats and OCR settings.
#include "Names.h"

namespace {

template <typename T>
std::optional<T> FromName(const std::vector<TNamed<T>>& Table, std::string_view Name) {
  for (const TNamed<T>& Entry : Table)
    if (Name == Entry.Name) return Entry.Value;
  return std::nullopt;
}

template <typename T>
const char* NameIn(const std::vector<TNamed<T>>& Table, T Value) {
  for (const TNamed<T>& Entry : Table)
    if (Entry.Value == Value) return Entry.Name;
  return "";
}

template <typename T>
std::vector<std::string> ListOf(const std::vector<TNamed<T>>& Table) {
  std::vector<std::string> Names;
  for (const TNamed<T>& Entry : Table) Names.emplace_back(Entry.Name);
  return Names;
}

}  // namespace

const std::vector<TNamed<TTextType>>& LayoutNames() {
  static const std::vector<TNamed<TTextType>> Table = {
      {"content", TTextType::Content},
      {"reflow", TTextType::Reflow},
      {"positioned", TTextType::Positioned},
      {"reading", TTextType::Reading},
  };
  return Table;
}

const std::vector<TNamed<TOutputFormat>>& FormatNames() {
  static const std::vector<TNamed<TOutputFormat>> Table = {{"text", TOutputFormat::Text},
                                                            {"plain", TOutputFormat::Plain},
                                                            {"json", TOutputFormat::Json},
                                                            {"markdown", TOutputFormat::Markdown}};
  return Table;
}

const std::vector<TNamed<TPDFOCRMode>>& OCRModeNames() {
  static const std::vector<TNamed<TPDFOCRMode>> Table = {
      {"never", TPDFOCRMode::Never}, {"auto", TPDFOCRMode::Auto}, {"always", TPDFOCRMode::Always}};
  return Table;
}

std::optional<TPDFOCRMode> OCRModeFromName(std::string_view Name) { return FromName(OCRModeNames(), Name); }

const char* NameOf(TPDFOCRMode Mode) { return NameIn(OCRModeNames(), Mode); }

std::vector<std::string> OCRModeNameList() { return ListOf(OCRModeNames()); }

std::optional<TTextType> LayoutFromName(std::string_view Name) { return FromName(LayoutNames(), Name); }

std::optional<TOutputFormat> FormatFromName(std::string_view Name) { return FromName(FormatNames(), Name); }

const char* NameOf(TTextType Layout) { return NameIn(LayoutNames(), Layout); }

const char* NameOf(TOutputFormat Format) { return NameIn(FormatNames(), Format); }

const char* FormatSuffix(TOutputFormat Format) {
  switch (Format) {
    case TOutputFormat::Text:
    case TOutputFormat::Plain: return ".txt";
    case TOutputFormat::Json: return ".json";
    case TOutputFormat::Markdown: return ".md";
  }
  return ".txt";
}

std::vector<std::string> LayoutNameList() { return ListOf(LayoutNames()); }

std::vector<std::string> FormatNameList() { return ListOf(FormatNames()); }

std::string NamesForMessage(const std::vector<std::string>& Names, const char* Quote) {
  std::string Out;
  for (size_t I = 0; I < Names.size(); ++I) {
    if (I > 0) Out += I + 1 == Names.size() ? " or " : ", ";
    Out += Quote + Names[I] + Quote;
  }
  return Out;
}
