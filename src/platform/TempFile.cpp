// Temporary files beside a target.
#include "TempFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The umask from /proc/self/status ("Umask:\t0022"); the umask(2) round trip
// is the fallback, as it changes the mask for a moment for every thread.
mode_t ReadUmask() {
  if (std::FILE* F = std::fopen("/proc/self/status", "r")) {
    char Line[256];
    unsigned Mask = 0;
    bool Found = false;
    while (!Found && std::fgets(Line, sizeof Line, F))
      Found = std::sscanf(Line, "Umask: %o", &Mask) == 1;
    std::fclose(F);
    if (Found) return static_cast<mode_t>(Mask & 0777);
  }
  const mode_t Mask = ::umask(022);
  ::umask(Mask);
  return Mask;
}

}  // namespace

int CreateTempBeside(const std::string& Target, std::string& TempName) {
  const size_t Slash = Target.rfind('/');
  const std::string Folder = Slash == std::string::npos ? "" : Target.substr(0, Slash + 1);
  const std::string Name = Slash == std::string::npos ? Target : Target.substr(Slash + 1);
  std::string Template = Folder + "." + Name + ".XXXXXX";
  std::vector<char> Buffer(Template.begin(), Template.end());
  Buffer.push_back('\0');
  const int Fd = ::mkostemp(Buffer.data(), O_CLOEXEC);
  if (Fd < 0) return -1;
  TempName.assign(Buffer.data());
  return Fd;
}

mode_t PlainCreateMode() {
  static const mode_t Mode = 0666 & ~ReadUmask();
  return Mode;
}
