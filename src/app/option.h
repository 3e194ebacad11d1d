// The user's settings for an extraction run, kept in the per-user store.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Names.h"

class TSettingsStore;

// Range (all pages or From..To), Page (every, odd or even pages of the
// range), Header and Footer lines with macros, TextType (the layout),
// Repair (1: damaged files are repaired, 0: refused), OCR (0 never, 1 when a
// page needs it, 2 always) and OCRLanguages, stored as the numbers of their
// codes (the languages as text), Format (the output format, stored by its
// name) and Timeout. Setters only store in memory; Save writes all eleven
// values, and Timeout when it is set. Not for use from several threads.
class TSettings {
 public:
  // Loads at once; Store must outlive the settings.
  explicit TSettings(TSettingsStore& Store);

  int32_t To = 0;
  TPageRange Range = TPageRange::All;
  int32_t From = 0;
  std::string Header;
  std::string Footer;
  TPageChoice Page = TPageChoice::Every;
  TTextType TextType = TTextType::Content;
  int32_t Repair = 0;
  // Seconds a file's run may take (0: no end); none when not set, which each
  // host reads as its own default (the window and the single-file form: no
  // end; the batch form: 300).
  std::optional<int32_t> Timeout;
  // When the text of page images is recognised (a TPDFOCRMode), and in which
  // Tesseract languages ("eng+chi_sim"; empty: the installed ones of eng and
  // chi_sim).
  TPDFOCRMode OCR = TPDFOCRMode::Auto;
  std::string OCRLanguages;
  // The form of the output: text, plain, json or markdown.
  TOutputFormat Format = TOutputFormat::Text;
  // What Load took the default for instead of a stored value that names no
  // page range or page choice; one line each, for the log.
  std::vector<std::string> Warnings;

  // Each value from the store, or its default when missing or unreadable.
  void Load();
  // Writes all eleven values; false when the store could not be written.
  bool Save();
  // From := 1, To := the current file's page count; not saved.
  void ResetRange(int32_t CurrentPageCount);

 private:
  TSettingsStore& FStore;
};
