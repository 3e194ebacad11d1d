// Data files read at run time, found on a search path.
#include "ResourceData.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

constexpr const char* DefaultCMapFolder = "/usr/share/poppler/cMap";
// A predefined CMap is a few hundred kilobytes; nothing larger is read.
constexpr uintmax_t MaxCMapFileSize = 16u << 20;

// A resource name is one plain file name: no folder parts, no hidden names.
bool PlainName(std::string_view Name) {
  if (Name.empty() || Name.size() > 127 || Name[0] == '.') return false;
  for (char C : Name)
    if (C == '/' || C == '\\' || C == '\0' || static_cast<unsigned char>(C) < 0x20) return false;
  return true;
}

std::optional<std::string> ReadSmallFile(const std::filesystem::path& Path) {
  std::error_code Error;
  if (!std::filesystem::is_regular_file(Path, Error)) return std::nullopt;
  const uintmax_t Size = std::filesystem::file_size(Path, Error);
  if (Error || Size > MaxCMapFileSize) return std::nullopt;
  std::ifstream In(Path, std::ios::binary);
  if (!In) return std::nullopt;
  std::string Bytes(static_cast<size_t>(Size), '\0');
  In.read(Bytes.data(), static_cast<std::streamsize>(Size));
  if (static_cast<uintmax_t>(In.gcount()) != Size) return std::nullopt;
  return Bytes;
}

}  // namespace

TResourceData& TResourceData::Installed() {
  static TResourceData Store([] {
    std::vector<std::string> Folders;
    if (const char* Extra = std::getenv("VORLITH_CMAP_PATH")) {
      std::string_view Rest = Extra;
      while (!Rest.empty()) {
        const size_t Colon = Rest.find(':');
        if (Colon) Folders.emplace_back(Rest.substr(0, Colon));
        if (Colon == std::string_view::npos) break;
        Rest.remove_prefix(Colon + 1);
      }
    }
    Folders.emplace_back(DefaultCMapFolder);
    return Folders;
  }());
  return Store;
}

TResourceData::TResourceData(std::vector<std::string> CMapFolders) : FFolders(std::move(CMapFolders)) {}

std::optional<std::string> TResourceData::CMapFile(std::string_view Name, std::string* Collection) const {
  if (!PlainName(Name)) return std::nullopt;
  for (const std::string& Folder : FFolders) {
    std::error_code Error;
    const std::filesystem::path Root(Folder);
    if (auto Bytes = ReadSmallFile(Root / Name)) {
      if (Collection) Collection->clear();
      return Bytes;
    }
    // The collections' subfolders, in name order so that the choice does
    // not depend on the order the file system lists them in.
    std::vector<std::filesystem::path> Subfolders;
    for (std::filesystem::directory_iterator It(Root, Error), End; !Error && It != End; It.increment(Error))
      if (It->is_directory(Error)) Subfolders.push_back(It->path());
    std::sort(Subfolders.begin(), Subfolders.end());
    for (const auto& Sub : Subfolders)
      if (auto Bytes = ReadSmallFile(Sub / Name)) {
        if (Collection) *Collection = Sub.filename().string();
        return Bytes;
      }
  }
  return std::nullopt;
}
