// Data files the engine reads at run time: Adobe's CMap resources (as
// Debian's poppler-data installs them), found on a search path.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TResourceData {
 public:
  // The installed resources: the folders of VORLITH_CMAP_PATH (separated by
  // ":"), searched first, then /usr/share/poppler/cMap. Thread-safe; reads
  // the environment once.
  static TResourceData& Installed();

  // A resource store over the given CMap folders only (for tests).
  explicit TResourceData(std::vector<std::string> CMapFolders);
  virtual ~TResourceData() = default;

  // The bytes of the predefined CMap Name ("UniGB-UCS2-H", "Adobe-GB1-UCS2"),
  // looked for as FOLDER/Name and FOLDER/<collection>/Name in each folder of
  // the path in turn; nothing when no folder holds it, when it is larger
  // than MaxSize, or when Name is not a plain file name. Collection, when
  // given, receives the name of the subfolder it was found in ("Adobe-GB1"),
  // or "" when it lay in the folder itself.
  virtual std::optional<std::string> CMapFile(std::string_view Name, std::string* Collection = nullptr) const;

  const std::vector<std::string>& CMapFolders() const { return FFolders; }

 private:
  std::vector<std::string> FFolders;
};
