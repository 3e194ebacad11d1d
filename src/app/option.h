// The user's settings for an extraction run, kept in the per-user store.
#pragma once

#include <cstdint>
#include <string>

class TSettingsStore;

// Range (1 all pages, 2 From..To), Page (1 all, 2 odd, 3 even), Header and
// Footer lines with macros, and TextType (0 content order, 1 reflow, 2
// positioned), and Repair (1: damaged files are repaired, 0: refused).
// Setters only store in memory; Save writes all eight values.
class TSettings {
 public:
  // Loads at once; Store must outlive the settings.
  explicit TSettings(TSettingsStore& Store);

  int32_t To = 0;
  int32_t Range = 0;
  int32_t From = 0;
  std::string Header;
  std::string Footer;
  int32_t Page = 0;
  uint8_t TextType = 0;
  int32_t Repair = 0;

  // Each value from the store, or its default when missing or unreadable.
  void Load();
  // Writes all eight values; false when the store could not be written.
  bool Save();
  // From := 1, To := the current file's page count; not saved.
  void ResetRange(int32_t CurrentPageCount);

 private:
  TSettingsStore& FStore;
};
