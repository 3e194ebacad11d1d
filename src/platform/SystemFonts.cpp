// Installed fonts over fontconfig.
#include "SystemFonts.h"

#include <fontconfig/fontconfig.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>

namespace {

bool SameIgnoringCase(const std::string& A, const std::string& B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           return std::tolower(static_cast<unsigned char>(X)) == std::tolower(static_cast<unsigned char>(Y));
         });
}

std::string AsciiLower(std::string S) {
  for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

bool LessIgnoringCase(const std::string& A, const std::string& B) {
  return std::lexicographical_compare(A.begin(), A.end(), B.begin(), B.end(), [](char X, char Y) {
    return std::tolower(static_cast<unsigned char>(X)) < std::tolower(static_cast<unsigned char>(Y));
  });
}

// Family names documents often ask for that Linux systems serve with
// metric-compatible fonts under other names.
constexpr const char* WellKnownFamilies[] = {
    "Arial",      "Arial Narrow", "Times New Roman", "Courier New", "Helvetica", "Times",
    "Courier",    "Calibri",      "Cambria",         "Georgia",     "Verdana",   "Tahoma",
    "Trebuchet MS", "Symbol",     "Palatino",        "Bookman",     "Century Schoolbook",
};

constexpr const char* GenericFamilies[] = {"sans-serif", "serif", "monospace", "system-ui", "cursive",
                                           "fantasy",    "emoji", "math",      "fangsong"};

using TPatternPtr = std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)>;

std::string StringOf(FcPattern* P, const char* Object, int Index = 0) {
  FcChar8* Value = nullptr;
  return FcPatternGetString(P, Object, Index, &Value) == FcResultMatch && Value ? reinterpret_cast<char*>(Value) : "";
}

class TFontconfigFonts final : public TSystemFonts {
 public:
  // fontconfig is set up (its configuration parsed, its caches read) only
  // when a font first needs a substitute.
  TFontconfigFonts() = default;
  ~TFontconfigFonts() override {
    if (FConfig) FcConfigDestroy(FConfig);
  }

  const std::vector<std::string>& FamilyList() override {
    std::call_once(FListOnce, [this] {
      Init();
      BuildList();
    });
    return FList;
  }

  TFontFile FontFile(const std::string& Family, bool Bold, bool Italic, uint64_t MaxSize) override {
    TFontFile Result;
    std::string Path;
    Init();
    {
      std::lock_guard<std::mutex> Lock(FMutex);
      Path = MatchFile(Family, Bold, Italic);
    }
    struct stat St {};
    if (Path.empty() || ::stat(Path.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) {
      Result.Error = true;
      return Result;
    }
    Result.Size = static_cast<uint64_t>(St.st_size);
    if (Result.Size > MaxSize) return Result;
    std::FILE* F = std::fopen(Path.c_str(), "rb");
    if (!F) {
      Result.Error = true;
      return Result;
    }
    // Only a TrueType program is read whole; anything else is refused by its
    // first four bytes as well.
    char Head[4] = {};
    const size_t Got = std::fread(Head, 1, 4, F);
    Result.Bytes.assign(Head, Got);
    const std::string_view Tag(Head, Got);
    if (Tag == std::string_view("\0\1\0\0", 4) || Tag == "true" || Tag == "typ1") {
      Result.Bytes.resize(Result.Size);
      const size_t Rest = Result.Size > Got ? std::fread(Result.Bytes.data() + Got, 1, Result.Size - Got, F) : 0;
      Result.Bytes.resize(Got + Rest);
    }
    std::fclose(F);
    return Result;
  }

 private:
  void Init() {
    std::call_once(FConfigOnce, [this] { FConfig = FcInitLoadConfigAndFonts(); });
  }

  // The file fontconfig chooses for the family in the style; "" for none.
  std::string MatchFile(const std::string& Family, bool Bold, bool Italic) {
    if (!FConfig) return "";
    TPatternPtr Pattern(FcPatternCreate(), FcPatternDestroy);
    FcPatternAddString(Pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(Family.c_str()));
    FcPatternAddInteger(Pattern.get(), FC_WEIGHT, Bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(Pattern.get(), FC_SLANT, Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(FConfig, Pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(Pattern.get());
    FcResult Result = FcResultNoMatch;
    TPatternPtr Match(FcFontMatch(FConfig, Pattern.get(), &Result), FcPatternDestroy);
    return Match ? StringOf(Match.get(), FC_FILE) : "";
  }

  // Whether fontconfig serves Family by a font of an alias it binds to the
  // name (a metric-compatible font), not by its generic fallback.
  bool ServedByAlias(const std::string& Family) {
    TPatternPtr Pattern(FcPatternCreate(), FcPatternDestroy);
    FcPatternAddString(Pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(Family.c_str()));
    FcConfigSubstitute(FConfig, Pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(Pattern.get());
    FcResult Result = FcResultNoMatch;
    TPatternPtr Match(FcFontMatch(FConfig, Pattern.get(), &Result), FcPatternDestroy);
    if (!Match) return false;
    const std::string Chosen = StringOf(Match.get(), FC_FAMILY);
    for (int I = 0;; ++I) {
      const std::string Candidate = StringOf(Pattern.get(), FC_FAMILY, I);
      if (Candidate.empty()) return false;
      if (SameIgnoringCase(Candidate, Chosen)) return true;
      for (const char* Generic : GenericFamilies)
        if (SameIgnoringCase(Candidate, Generic)) return false;
    }
  }

  void BuildList() {
    std::lock_guard<std::mutex> Lock(FMutex);
    FList = {"Default"};
    if (!FConfig) return;
    TPatternPtr Pattern(FcPatternCreate(), FcPatternDestroy);
    std::unique_ptr<FcObjectSet, decltype(&FcObjectSetDestroy)> Objects(FcObjectSetBuild(FC_FAMILY, nullptr),
                                                                         FcObjectSetDestroy);
    std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)> Set(FcFontList(FConfig, Pattern.get(), Objects.get()),
                                                                FcFontSetDestroy);
    // fontconfig reports a family once per file; it is listed once, where it
    // is first reported.
    std::set<std::string> Seen;
    const auto Add = [&](const std::string& Name) {
      if (Name.empty() || SameIgnoringCase(Name, FList.back())) return;
      if (Seen.insert(AsciiLower(Name)).second) FList.push_back(Name);
    };
    if (Set)
      for (int I = 0; I < Set->nfont; ++I)
        for (int K = 0;; ++K) {
          const std::string Name = StringOf(Set->fonts[I], FC_FAMILY, K);
          if (Name.empty()) break;
          Add(Name);
        }
    for (const char* Name : WellKnownFamilies)
      if (!Seen.count(AsciiLower(Name)) && ServedByAlias(Name)) Add(Name);
    std::stable_sort(FList.begin(), FList.end(), LessIgnoringCase);
  }

  FcConfig* FConfig = nullptr;
  std::mutex FMutex;
  std::once_flag FConfigOnce, FListOnce;
  std::vector<std::string> FList;
};

}  // namespace

TSystemFonts& TSystemFonts::Installed() {
  static TFontconfigFonts Fonts;
  return Fonts;
}
