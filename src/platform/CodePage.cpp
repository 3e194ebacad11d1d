// The code page of all text the system writes, over glibc's iconv.
#include "CodePage.h"

#include <array>
#include <atomic>
#include <cctype>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

namespace {

// The Unicode characters of Windows-1252 bytes 0x80-0x9F; 0 marks the five
// bytes it leaves undefined. Every other byte is its own code point.
constexpr std::array<uint16_t, 32> WinAnsiHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98-9F
};

// The character of a Windows-1252 byte; 0 for an undefined byte.
uint16_t WinAnsiChar(unsigned char Byte) {
  return Byte >= 0x80 && Byte <= 0x9F ? WinAnsiHigh[Byte - 0x80] : Byte;
}

bool IsSurrogate(uint16_t Unit) { return Unit >= 0xD800 && Unit <= 0xDFFF; }

std::string Upper(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (unsigned char C : Text) Out += static_cast<char>(std::toupper(C));
  return Out;
}

class TIconvCodePage final : public TCodePage {
 public:
  TIconvCodePage(std::string Name, iconv_t Handle) : Name_(std::move(Name)), Handle_(Handle) {}
  ~TIconvCodePage() override { iconv_close(Handle_); }
  TIconvCodePage(const TIconvCodePage&) = delete;
  TIconvCodePage& operator=(const TIconvCodePage&) = delete;

  // Settles what depends on the conversion as a whole; false when the code
  // page does not keep ASCII as it is, so that text written around the
  // converted characters would not be read in it.
  bool Init() {
    static constexpr std::string_view AsciiProbe =
        "\t\n\r !\"#%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
    for (char C : AsciiProbe) {
      std::string Out;
      if (!Convert(static_cast<unsigned char>(C), Out) || Out != std::string(1, C)) return false;
    }
    // Windows-1252 itself (under whatever alias) when every defined byte
    // converts to itself.
    WinAnsi_ = true;
    for (unsigned B = 0x20; B <= 0xFF && WinAnsi_; ++B) {
      const uint16_t Char = WinAnsiChar(static_cast<unsigned char>(B));
      if (Char != 0 && Char != 0x7F) WinAnsi_ = FromUTF16(Char) == std::string(1, static_cast<char>(B));
    }
    return true;
  }

  const std::string& Name() const override { return Name_; }
  bool IsWinAnsi() const override { return WinAnsi_; }

  const std::string& FromUTF16(uint16_t Unit) const override {
    std::atomic<TBlock*>& Slot = Blocks_[Unit >> 8];
    TBlock* Block = Slot.load(std::memory_order_acquire);
    if (!Block) {
      std::lock_guard<std::mutex> Guard(Lock_);
      Block = Slot.load(std::memory_order_relaxed);
      if (!Block) {
        Owned_.push_back(std::make_unique<TBlock>());
        Block = Owned_.back().get();
        Slot.store(Block, std::memory_order_release);
      }
    }
    TEntry& Entry = (*Block)[Unit & 0xFF];
    if (!Entry.Filled.load(std::memory_order_acquire)) {
      std::lock_guard<std::mutex> Guard(Lock_);
      if (!Entry.Filled.load(std::memory_order_relaxed)) {
        if (IsSurrogate(Unit) || !Convert(Unit, Entry.Text)) Entry.Text.assign(1, '?');
        Entry.Filled.store(true, std::memory_order_release);
      }
    }
    return Entry.Text;
  }

  std::string FromCodePoint(char32_t Char) const override {
    if (Char < 0x10000) return FromUTF16(static_cast<uint16_t>(Char));
    if (Char > 0x10FFFF) return "?";
    std::lock_guard<std::mutex> Guard(Lock_);
    auto [It, New] = Wide_.try_emplace(Char);
    if (New && !Convert(Char, It->second)) It->second.assign(1, '?');
    return It->second;
  }

  const std::string& FromWinAnsi(unsigned char Byte) const override {
    TEntry& Entry = WinAnsiTable_[Byte];
    if (!Entry.Filled.load(std::memory_order_acquire)) {
      const uint16_t Char = WinAnsiChar(Byte);
      // Converted before the lock is taken (FromUTF16 takes it itself).
      const std::string Text = WinAnsi_ || Byte < 0x20 || Byte == 0x7F ? std::string(1, static_cast<char>(Byte))
                               : Char == 0                               ? std::string(1, '?')
                                                                         : FromUTF16(Char);
      std::lock_guard<std::mutex> Guard(Lock_);
      if (!Entry.Filled.load(std::memory_order_relaxed)) {
        Entry.Text = Text;
        Entry.Filled.store(true, std::memory_order_release);
      }
    }
    return Entry.Text;
  }

 private:
  // A conversion, filled once under the lock and read without it once
  // Filled is seen set: its text never changes after that.
  struct TEntry {
    std::string Text;
    std::atomic<bool> Filled{false};
  };
  using TBlock = std::array<TEntry, 256>;

  // One code point into the code page, with the shift state of a stateful
  // code page closed at the end; false when it has no form for it. The
  // iconv handle is not shared: called under the lock (or before the code
  // page is handed out).
  bool Convert(uint32_t CodePoint, std::string& Out) const {
    char In[4] = {static_cast<char>(CodePoint & 0xFF), static_cast<char>((CodePoint >> 8) & 0xFF),
                  static_cast<char>((CodePoint >> 16) & 0xFF), static_cast<char>(CodePoint >> 24)};
    char Buffer[64];
    char* InPtr = In;
    size_t InLeft = sizeof In;
    char* OutPtr = Buffer;
    size_t OutLeft = sizeof Buffer;
    iconv(Handle_, nullptr, nullptr, nullptr, nullptr);
    if (iconv(Handle_, &InPtr, &InLeft, &OutPtr, &OutLeft) == static_cast<size_t>(-1) || InLeft != 0 ||
        iconv(Handle_, nullptr, nullptr, &OutPtr, &OutLeft) == static_cast<size_t>(-1)) {
      iconv(Handle_, nullptr, nullptr, nullptr, nullptr);
      return false;
    }
    Out.assign(Buffer, OutPtr);
    return true;
  }

  std::string Name_;
  iconv_t Handle_;
  bool WinAnsi_ = false;
  // The caches, shared by every thread that uses the code page: blocks of
  // 256 UTF-16 units made on first use (published through their slot, owned
  // by Owned_), the WinAnsiEncoding bytes, and characters beyond the Basic
  // Multilingual Plane. Lock_ guards the iconv handle and every fill.
  mutable std::mutex Lock_;
  mutable std::array<std::atomic<TBlock*>, 256> Blocks_{};
  mutable std::vector<std::unique_ptr<TBlock>> Owned_;
  mutable std::array<TEntry, 256> WinAnsiTable_;
  mutable std::unordered_map<char32_t, std::string> Wide_;
};

}  // namespace

std::shared_ptr<const TCodePage> TCodePage::Create(std::string_view Name) {
  if (Name.empty() || Name.find('\0') != std::string_view::npos) return nullptr;
  std::string Canonical = Upper(Name);
  iconv_t Handle = iconv_open(Canonical.c_str(), "UTF-32LE");
  if (Handle == reinterpret_cast<iconv_t>(-1)) return nullptr;
  auto Page = std::make_shared<TIconvCodePage>(std::move(Canonical), Handle);
  if (!Page->Init()) return nullptr;
  return Page;
}

std::string TCodePage::LocaleName() {
  // The character set of the environment's LC_CTYPE (LC_ALL, LC_CTYPE, LANG),
  // read through a locale object of its own: the process's locale is neither
  // read nor changed, so any thread may ask.
  std::string Codeset;
  if (locale_t Environment = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr))) {
    if (const char* Name = nl_langinfo_l(CODESET, Environment)) Codeset = Name;
    freelocale(Environment);
  }
  const std::string Key = Upper(Codeset);
  if (Key.empty() || Key == "UTF-8" || Key == "UTF8" || Key == "ANSI_X3.4-1968" || Key == "ASCII" ||
      Key == "US-ASCII") {
    return "UTF-8";
  }
  return Codeset;
}

std::shared_ptr<const TCodePage> TCodePage::Default() {
  // Every engine and document starts from the default, so the last one made
  // is kept for the locale it was made for: opening the conversion and
  // settling what it keeps of ASCII and Windows-1252 is done once per
  // thread (a code page may be shared, but each thread keeps its own
  // default without a lock).
  thread_local std::string KeptName;
  thread_local std::shared_ptr<const TCodePage> Kept;
  std::string Name = LocaleName();
  if (Kept && Name == KeptName) return Kept;
  auto Page = Create(Name);
  if (!Page) Page = Create("UTF-8");
  KeptName = std::move(Name);
  Kept = Page;
  return Page;
}

std::optional<std::string> ConvertToUTF8(const TCodePage& Page, std::string_view Text) {
  if (Text.empty()) return std::string();
  iconv_t Handle = iconv_open("UTF-8", Page.Name().c_str());
  if (Handle == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string In(Text);
  // UTF-8 takes at most four bytes for any one byte of input (and a shift
  // sequence of a stateful code page gives none).
  std::string Out(In.size() * 4 + 16, '\0');
  char* InPtr = In.data();
  size_t InLeft = In.size();
  char* OutPtr = Out.data();
  size_t OutLeft = Out.size();
  const bool Ok = iconv(Handle, &InPtr, &InLeft, &OutPtr, &OutLeft) != static_cast<size_t>(-1) && InLeft == 0 &&
                  iconv(Handle, nullptr, nullptr, &OutPtr, &OutLeft) != static_cast<size_t>(-1);
  iconv_close(Handle);
  if (!Ok) return std::nullopt;
  Out.resize(Out.size() - OutLeft);
  return Out;
}
