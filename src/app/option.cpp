// The user's settings for an extraction run.
#include "option.h"

#include <map>
#include <optional>

#include "SettingsStore.h"
#include "uPDFExtra.h"

TSettings::TSettings(TSettingsStore& Store) : FStore(Store) { Load(); }

namespace {
// The defaults of a first start.
constexpr TPageRange DefaultRange = TPageRange::All;
constexpr TPageChoice DefaultPage = TPageChoice::Every;
constexpr int32_t DefaultFrom = 1, DefaultTo = 1;
constexpr const char* DefaultFooter = " = Page &p =";
constexpr TTextType DefaultTextType = TTextType::Reflow;
constexpr int32_t DefaultRepair = 1;
// A week.
constexpr int32_t MaxTimeout = 7 * 24 * 3600;
}  // namespace

void TSettings::Load() {
  const auto Values = FStore.Read();
  auto Text = [&](const char* Name, const std::string& Default) {
    if (!Values) return Default;
    auto It = Values->find(Name);
    return It == Values->end() ? Default : It->second;
  };
  auto Integer = [&](const char* Name, int32_t Default) -> int32_t {
    if (!Values) return Default;
    auto It = Values->find(Name);
    return It == Values->end() ? Default : ReadInt32(It->second).value_or(Default);
  };
  Warnings.clear();
  // A stored Range or Page that names nothing falls back to its default.
  auto Checked = [&](const char* Name, int32_t Default, int32_t Low, int32_t High) {
    const int32_t Value = Integer(Name, Default);
    if (Value >= Low && Value <= High) return Value;
    Warnings.push_back(std::string("The setting ") + Name + "=" + std::to_string(Value) +
                       " is out of range; the default " + std::to_string(Default) + " is used.");
    return Default;
  };
  Range = static_cast<TPageRange>(Checked("Range", static_cast<int32_t>(DefaultRange), 1, 2));
  Page = static_cast<TPageChoice>(Checked("Page", static_cast<int32_t>(DefaultPage), 1, 3));
  From = Integer("From", DefaultFrom);
  To = Integer("To", DefaultTo);
  Footer = Text("Footer", DefaultFooter);
  Header = Text("Header", "");
  // Read as an integer, kept as its low byte.
  TextType = static_cast<TTextType>(Integer("TextType", static_cast<int32_t>(DefaultTextType)) & 0xFF);
  Repair = Integer("Repair", DefaultRepair);
  OCR = static_cast<TPDFOCRMode>(Checked("OCR", static_cast<int32_t>(TPDFOCRMode::Auto), 0, 2));
  OCRLanguages = Text("OCRLanguages", "");
  const std::string FormatName = Text("Format", "text");
  Format = FormatFromName(FormatName).value_or(TOutputFormat::Text);
  if (!FormatFromName(FormatName))
    Warnings.push_back("The setting Format=" + FormatName + " names no format; the default text is used.");
  Timeout.reset();
  if (Values && Values->count("Timeout")) Timeout = Checked("Timeout", 0, 0, MaxTimeout);
}

bool TSettings::Save() {
  std::map<std::string, std::string> Values{{"Range", std::to_string(static_cast<int32_t>(Range))},
                                            {"Page", std::to_string(static_cast<int32_t>(Page))},
                                            {"From", std::to_string(From)},
                                            {"To", std::to_string(To)},
                                            {"Footer", Footer},
                                            {"Header", Header},
                                            {"TextType", std::to_string(static_cast<int>(TextType))},
                                            {"Repair", std::to_string(Repair)},
                                            {"OCR", std::to_string(static_cast<int32_t>(OCR))},
                                            {"OCRLanguages", OCRLanguages},
                                            {"Format", NameOf(Format)}};
  if (Timeout) Values["Timeout"] = std::to_string(*Timeout);
  return FStore.Write(Values);
}

void TSettings::ResetRange(int32_t CurrentPageCount) {
  From = 1;
  To = CurrentPageCount;
}
