// The per-user settings file.
#include "SettingsStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

struct TTempDir {
  fs::path Path;
  TTempDir() {
    char Template[] = "/tmp/vorlith-store-XXXXXX";
    Path = ::mkdtemp(Template);
  }
  ~TTempDir() {
    std::error_code Ec;
    fs::remove_all(Path, Ec);
  }
};

TEST(TIniSettingsStore, DefaultPathFollowsXdg) {
  const char* Old = std::getenv("XDG_CONFIG_HOME");
  std::string Saved = Old ? Old : "";
  ::setenv("XDG_CONFIG_HOME", "/x/y", 1);
  EXPECT_EQ(TIniSettingsStore::DefaultPath(), "/x/y/Vorlith/TextExtractor.ini");
  ::unsetenv("XDG_CONFIG_HOME");
  if (const char* Home = std::getenv("HOME")) {
    EXPECT_EQ(TIniSettingsStore::DefaultPath(), std::string(Home) + "/.config/Vorlith/TextExtractor.ini");
  }
  if (Old) ::setenv("XDG_CONFIG_HOME", Saved.c_str(), 1);
}

TEST(TIniSettingsStore, ValuesSurviveWhateverBytesTheyHold) {
  TTempDir Dir;
  TIniSettingsStore Store((Dir.Path / "a" / "b" / "s.ini").string());  // folders are created
  EXPECT_FALSE(Store.Read().has_value());
  const std::map<std::string, std::string> Values = {
      {"Plain", "12"},         {"Spaces", "  both ends  "}, {"Empty", ""},
      {"Quotes", "\"q\" \\ x"}, {"Breaks", "a\r\nb\n"},      {"Bytes", std::string("\x01\xE9\x00z", 4)},
      {"Tab", "\tlead"},       {"Equals", "a=b"},
  };
  ASSERT_TRUE(Store.Write(Values));
  EXPECT_EQ(Store.Read(), Values);
  // Replaced whole, with no temporary file left over.
  ASSERT_TRUE(Store.Write({{"Only", "1"}}));
  EXPECT_EQ(Store.Read(), (std::map<std::string, std::string>{{"Only", "1"}}));
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path / "a" / "b"), fs::directory_iterator()), 1);
}

TEST(TIniSettingsStore, ReadsOnlyItsSection) {
  TTempDir Dir;
  const fs::path File = Dir.Path / "s.ini";
  std::ofstream(File) << "Range=9\n[Other]\nRange=8\n[Setting]\r\nRange=2\r\n; comment\nbroken line\nHeader=\"x\"\n";
  TIniSettingsStore Store(File.string());
  EXPECT_EQ(Store.Read(), (std::map<std::string, std::string>{{"Range", "2"}, {"Header", "x"}}));
  std::ofstream(File) << "[Other]\nRange=8\n";
  EXPECT_FALSE(Store.Read().has_value());
}

TEST(TIniSettingsStore, UnwritablePlaceFails) {
  TTempDir Dir;
  std::ofstream(Dir.Path / "file") << "x";
  TIniSettingsStore Store((Dir.Path / "file" / "s.ini").string());
  EXPECT_FALSE(Store.Write({{"A", "1"}}));
}

}  // namespace
