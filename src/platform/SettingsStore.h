// Per-user settings store standing in for the registry: named integer and
// text values under one key.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// One key's values. Reads give no value for a missing or unreadable entry;
// Write replaces the whole set of values at once.
// One thread at a time; two processes may share the file (a write replaces
// it whole).
class TSettingsStore {
 public:
  virtual ~TSettingsStore() = default;
  // The stored values, or none when the key does not exist.
  virtual std::optional<std::map<std::string, std::string>> Read() = 0;
  // Stores the values; false when they could not be written.
  virtual bool Write(const std::map<std::string, std::string>& Values) = 0;
};

// The values as an INI file, section [Setting]: `Name=value` lines. A value
// that would not survive as it stands (empty, spaces at either end, quotes,
// backslashes, line breaks, NUL) is written in double quotes with backslash
// escapes, so that every byte comes back. Writes go to a temporary file (created
// exclusively under a random name, see TempFile.h) that is renamed
// over the old one, in a folder created when missing.
class TIniSettingsStore : public TSettingsStore {
 public:
  explicit TIniSettingsStore(std::string Path) : FPath(std::move(Path)) {}
  // ${XDG_CONFIG_HOME:-$HOME/.config}/Vorlith/TextExtractor.ini
  static std::string DefaultPath();
  const std::string& Path() const { return FPath; }

  // Reads only a regular file of at most MaxFileSize bytes; anything else
  // reads as no file, and Warning says why.
  std::optional<std::map<std::string, std::string>> Read() override;
  bool Write(const std::map<std::string, std::string>& Values) override;
  static constexpr size_t MaxFileSize = 64 << 10;
  // Why the last Read took the defaults (empty when it did not).
  const std::string& Warning() const { return FWarning; }

  // Quoting of values, exposed for the tests.
  static std::string Quote(const std::string& Value);
  static std::string Unquote(const std::string& Text);

 private:
  std::string FPath;
  std::string FWarning;
};

// A store in memory, for tests.
class TMemorySettingsStore : public TSettingsStore {
 public:
  std::optional<std::map<std::string, std::string>> Values;
  std::optional<std::map<std::string, std::string>> Read() override { return Values; }
  bool Write(const std::map<std::string, std::string>& V) override {
    Values = V;
    return true;
  }
};
