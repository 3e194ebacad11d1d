// Per-user settings store: an INI file under the user's configuration folder.
#include "SettingsStore.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <unistd.h>

namespace {
constexpr const char* Section = "[Setting]";
}

std::string TIniSettingsStore::DefaultPath() {
  std::string Base;
  if (const char* Xdg = std::getenv("XDG_CONFIG_HOME"); Xdg && *Xdg) {
    Base = Xdg;
  } else if (const char* Home = std::getenv("HOME"); Home && *Home) {
    Base = std::string(Home) + "/.config";
  } else {
    Base = ".config";
  }
  return Base + "/Vorlith/TextExtractor.ini";
}

std::string TIniSettingsStore::Quote(const std::string& Value) {
  const bool Plain = !Value.empty() && Value.front() != ' ' && Value.back() != ' ' && Value.front() != '\t' &&
                     Value.back() != '\t' && Value.find_first_of(std::string("\"\\\r\n\0", 5)) == std::string::npos;
  if (Plain) return Value;
  std::string Out = "\"";
  for (unsigned char C : Value) {
    switch (C) {
      case '\\': Out += "\\\\"; break;
      case '"': Out += "\\\""; break;
      case '\n': Out += "\\n"; break;
      case '\r': Out += "\\r"; break;
      case '\0': Out += "\\0"; break;
      default: Out += static_cast<char>(C);
    }
  }
  return Out + "\"";
}

std::string TIniSettingsStore::Unquote(const std::string& Text) {
  if (Text.size() < 2 || Text.front() != '"' || Text.back() != '"') return Text;
  std::string Out;
  for (size_t I = 1; I + 1 < Text.size(); ++I) {
    char C = Text[I];
    if (C == '\\' && I + 2 < Text.size()) {
      char N = Text[++I];
      Out += N == 'n' ? '\n' : N == 'r' ? '\r' : N == '0' ? '\0' : N;
    } else {
      Out += C;
    }
  }
  return Out;
}

std::optional<std::map<std::string, std::string>> TIniSettingsStore::Read() {
  std::ifstream In(FPath, std::ios::binary);
  if (!In) return std::nullopt;
  std::map<std::string, std::string> Values;
  bool InSection = false, SectionSeen = false;
  std::string Line;
  while (std::getline(In, Line)) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (!Line.empty() && Line.front() == '[') {
      InSection = Line == Section;
      SectionSeen = SectionSeen || InSection;
      continue;
    }
    if (!InSection || Line.empty() || Line.front() == ';' || Line.front() == '#') continue;
    size_t Eq = Line.find('=');
    if (Eq == std::string::npos) continue;
    Values[Line.substr(0, Eq)] = Unquote(Line.substr(Eq + 1));
  }
  if (!SectionSeen) return std::nullopt;
  return Values;
}

bool TIniSettingsStore::Write(const std::map<std::string, std::string>& Values) {
  namespace fs = std::filesystem;
  std::error_code Ec;
  const fs::path Target(FPath);
  if (Target.has_parent_path()) fs::create_directories(Target.parent_path(), Ec);
  const std::string Temp = FPath + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream Out(Temp, std::ios::binary | std::ios::trunc);
    if (!Out) return false;
    Out << Section << '\n';
    for (const auto& [Name, Value] : Values) Out << Name << '=' << Quote(Value) << '\n';
    Out.flush();
    if (!Out) {
      fs::remove(Temp, Ec);
      return false;
    }
  }
  fs::rename(Temp, Target, Ec);
  if (Ec) {
    fs::remove(Temp, Ec);
    return false;
  }
  return true;
}
