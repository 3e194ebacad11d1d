// Shell services on Linux.
#include "Shell.h"

#include <algorithm>
#include <clocale>
#include <ctime>
#include <filesystem>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

void ShellOpen(const std::string& Target, const std::string& Parameters) {
  // A double fork: the opener is not waited for and leaves no zombie.
  pid_t Child = ::fork();
  if (Child == 0) {
    if (::fork() == 0) {
      std::string Program = "xdg-open";
      std::vector<char*> Args = {Program.data(), const_cast<char*>(Target.c_str())};
      std::string Params = Parameters;
      if (!Params.empty()) Args.push_back(Params.data());
      Args.push_back(nullptr);
      ::execvp("xdg-open", Args.data());
      ::_exit(127);
    }
    ::_exit(0);
  }
  if (Child > 0) ::waitpid(Child, nullptr, 0);
}

bool FileExists(const std::string& Path) {
  std::error_code Ec;
  return std::filesystem::is_regular_file(Path, Ec);
}

void GetFileVersion(int& Major, int& Minor, int& Release, int& Build) {
  Major = VORLITH_VERSION_MAJOR;
  Minor = VORLITH_VERSION_MINOR;
  Release = VORLITH_VERSION_PATCH;
  Build = 0;
}

std::string ShortDateString() {
  std::time_t Now = std::time(nullptr);
  std::tm Local{};
  localtime_r(&Now, &Local);
  char Buf[64];
  size_t N = std::strftime(Buf, sizeof Buf, "%x", &Local);
  return std::string(Buf, N);
}

#if defined(__SANITIZE_ADDRESS__)
#define VORLITH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORLITH_ASAN 1
#endif
#endif

bool LimitAddressSpace(unsigned long long Bytes) {
#ifdef VORLITH_ASAN
  (void)Bytes;
  return true;
#else
  struct rlimit Limit;
  if (::getrlimit(RLIMIT_AS, &Limit) != 0) return false;
  // Never above a hard limit set from outside.
  Limit.rlim_cur = Limit.rlim_max == RLIM_INFINITY ? Bytes : std::min<rlim_t>(Bytes, Limit.rlim_max);
  return ::setrlimit(RLIMIT_AS, &Limit) == 0;
#endif
}

unsigned long long PhysicalMemory() {
  const long Pages = ::sysconf(_SC_PHYS_PAGES), Size = ::sysconf(_SC_PAGESIZE);
  return Pages > 0 && Size > 0 ? static_cast<unsigned long long>(Pages) * static_cast<unsigned long long>(Size) : 0;
}
