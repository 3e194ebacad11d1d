// Per-user settings store: an INI file under the user's configuration folder.
#include "SettingsStore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TempFile.h"

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
  FWarning.clear();
  // Only a regular file of at most MaxFileSize is read: a link to /dev/zero
  // would grow memory without end, and a FIFO would block for ever (the open
  // does not wait for a writer).
  const int Fd = ::open(FPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (Fd < 0) return std::nullopt;
  struct stat St {};
  std::string Text;
  const bool Regular = ::fstat(Fd, &St) == 0 && S_ISREG(St.st_mode);
  if (Regular && St.st_size <= static_cast<off_t>(MaxFileSize)) {
    char Buffer[4096];
    for (ssize_t N; Text.size() <= MaxFileSize && (N = ::read(Fd, Buffer, sizeof Buffer)) != 0;) {
      if (N < 0 && errno == EINTR) continue;
      if (N < 0) break;
      Text.append(Buffer, static_cast<size_t>(N));
    }
  }
  ::close(Fd);
  if (!Regular || Text.size() > MaxFileSize || St.st_size > static_cast<off_t>(MaxFileSize)) {
    FWarning = "The settings file " + FPath + " is not a regular file of at most 64 KiB; the defaults are used.";
    return std::nullopt;
  }
  std::istringstream In(Text);
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
  std::string Text = std::string(Section) + "\n";
  for (const auto& [Name, Value] : Values) Text += Name + "=" + Quote(Value) + "\n";
  // Written to a file created exclusively beside the target, then renamed
  // over it.
  std::string Temp;
  const int Fd = CreateTempBeside(FPath, Temp);
  if (Fd < 0) return false;
  bool Written = true;
  for (size_t At = 0; Written && At < Text.size();) {
    const ssize_t N = ::write(Fd, Text.data() + At, Text.size() - At);
    if (N < 0 && errno == EINTR) continue;
    Written = N > 0;
    if (Written) At += static_cast<size_t>(N);
  }
  Written = ::fchmod(Fd, PlainCreateMode()) == 0 && Written;
  Written = ::close(Fd) == 0 && Written;
  if (Written) fs::rename(Temp, Target, Ec);
  if (!Written || Ec) {
    fs::remove(Temp, Ec);
    return false;
  }
  return true;
}
