// The code page layer: UTF-16 units and WinAnsiEncoding bytes into the code
// page of the output, and the locale's choice of it.
#include "CodePage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string Q = "?";

std::string Hex(const std::string& Bytes) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string Out;
  for (unsigned char B : Bytes) {
    if (!Out.empty()) Out += ' ';
    Out += Digits[B >> 4];
    Out += Digits[B & 15];
  }
  return Out;
}

std::shared_ptr<const TCodePage> Open(const std::string& Name) {
  auto Page = TCodePage::Create(Name);
  EXPECT_NE(Page, nullptr) << Name;
  return Page;
}

// UTF-8 of a code point, written here independently of iconv.
std::string Utf8(uint32_t C) {
  std::string Out;
  if (C < 0x80) {
    Out += static_cast<char>(C);
  } else if (C < 0x800) {
    Out += static_cast<char>(0xC0 | (C >> 6));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    Out += static_cast<char>(0xE0 | (C >> 12));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  }
  return Out;
}

// The 27 characters Windows-1252 puts in 0x80-0x9F, and their bytes.
struct TWinAnsiHigh {
  uint16_t Char;
  unsigned char Byte;
};
constexpr TWinAnsiHigh WinAnsiHigh[] = {
    {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85}, {0x2020, 0x86},
    {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x2039, 0x8B}, {0x0152, 0x8C},
    {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95},
    {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B},
    {0x0153, 0x9C}, {0x017E, 0x9E}, {0x0178, 0x9F},
};
constexpr unsigned char WinAnsiUndefined[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

// Sets environment variables for one scope and puts back what was there.
class TEnvGuard {
 public:
  void Set(const char* Name, const char* Value) {
    if (!Saved_.count(Name)) {
      const char* Old = std::getenv(Name);
      Saved_[Name] = Old ? std::optional<std::string>(Old) : std::nullopt;
    }
    if (Value) {
      ::setenv(Name, Value, 1);
    } else {
      ::unsetenv(Name);
    }
  }
  ~TEnvGuard() {
    for (const auto& [Name, Value] : Saved_) {
      if (Value) {
        ::setenv(Name.c_str(), Value->c_str(), 1);
      } else {
        ::unsetenv(Name.c_str());
      }
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> Saved_;
};

// The process's locale in every category, as setlocale reports it.
std::string ProcessLocale() {
  const char* Name = std::setlocale(LC_ALL, nullptr);
  return Name ? Name : "";
}

TEST(TCodePage, FromUTF16Table) {
  struct Case {
    const char* Page;
    uint16_t Unit;
    std::string Expected;
  } Cases[] = {
      {"CP1252", 0x4E2D, Q},
      {"CP1252", 0x00E9, "\xE9"},
      {"CP1252", 0x20AC, "\x80"},
      {"CP1252", 0x201C, "\x93"},
      {"CP1252", 0x0041, "A"},
      {"CP1252", 0x0000, std::string(1, '\0')},
      {"CP1252", 0x0081, Q},  // a C1 control Windows-1252 does not hold
      {"CP1252", 0xD800, Q},
      {"CP1252", 0xDFFF, Q},
      {"UTF-8", 0x4E2D, "\xE4\xB8\xAD"},
      {"UTF-8", 0x00E9, "\xC3\xA9"},
      {"UTF-8", 0x20AC, "\xE2\x82\xAC"},
      {"UTF-8", 0x0041, "A"},
      {"UTF-8", 0x0000, std::string(1, '\0')},
      {"UTF-8", 0xFFFD, "\xEF\xBF\xBD"},
      {"UTF-8", 0xD83D, Q},
      {"UTF-8", 0xDC00, Q},
      {"CP936", 0x4E2D, "\xD6\xD0"},
      {"CP936", 0x00E9, "\xA8\xA6"},  // a pinyin letter of GB 2312
      {"CP936", 0x20AC, "\x80"},      // the one single byte above ASCII
      {"CP936", 0x00A9, Q},
      {"CP936", 0x0041, "A"},
      {"CP936", 0x0000, std::string(1, '\0')},
      {"CP936", 0xD800, Q},
      {"GB18030", 0x4E2D, "\xD6\xD0"},
      {"GB18030", 0x20AC, "\xA2\xE3"},
      {"GB18030", 0x00A9, std::string("\x81\x30\x84\x38", 4)},  // four bytes: every character has a form
      {"GB18030", 0xDBFF, Q},
      {"ISO-8859-1", 0x00E9, "\xE9"},
      {"ISO-8859-1", 0x20AC, Q},
  };
  for (const auto& C : Cases) {
    auto Page = Open(C.Page);
    ASSERT_NE(Page, nullptr);
    EXPECT_EQ(Hex(Page->FromUTF16(C.Unit)), Hex(C.Expected)) << C.Page << " U+" << std::hex << C.Unit;
  }
}

TEST(TCodePage, FromWinAnsiTable) {
  struct Case {
    const char* Page;
    unsigned char Byte;
    std::string Expected;
  } Cases[] = {
      {"UTF-8", 0x80, "\xE2\x82\xAC"},
      {"UTF-8", 0x93, "\xE2\x80\x9C"},
      {"UTF-8", 0x9F, "\xC5\xB8"},
      {"UTF-8", 0x81, Q},
      {"UTF-8", 0x8D, Q},
      {"UTF-8", 0x8F, Q},
      {"UTF-8", 0x90, Q},
      {"UTF-8", 0x9D, Q},
      {"UTF-8", 0x41, "A"},
      {"UTF-8", 0x0A, "\n"},
      {"UTF-8", 0x00, std::string(1, '\0')},
      {"UTF-8", 0x7F, "\x7F"},
      {"UTF-8", 0xA0, "\xC2\xA0"},
      {"UTF-8", 0xE9, "\xC3\xA9"},
      {"UTF-8", 0xFF, "\xC3\xBF"},
      {"CP936", 0x80, "\x80"},
      {"CP936", 0xE9, "\xA8\xA6"},
      {"CP936", 0xA9, Q},  // the copyright sign is not in CP936
      {"CP936", 0x93, "\xA1\xB0"},
      {"CP936", 0x8D, Q},
      {"CP936", 0x1F, "\x1F"},
      {"ISO-8859-1", 0x80, Q},
      {"ISO-8859-1", 0xE9, "\xE9"},
      {"ISO-8859-1", 0x81, Q},
  };
  for (const auto& C : Cases) {
    auto Page = Open(C.Page);
    ASSERT_NE(Page, nullptr);
    EXPECT_EQ(Hex(Page->FromWinAnsi(C.Byte)), Hex(C.Expected)) << C.Page << " byte " << int(C.Byte);
  }
}

TEST(TCodePage, WinAnsiItselfKeepsEveryByte) {
  for (const char* Name : {"CP1252", "cp1252", "WINDOWS-1252", "windows-1252"}) {
    auto Page = Open(Name);
    ASSERT_NE(Page, nullptr);
    EXPECT_TRUE(Page->IsWinAnsi()) << Name;
    for (unsigned B = 0; B < 256; ++B) {
      EXPECT_EQ(Page->FromWinAnsi(static_cast<unsigned char>(B)), std::string(1, static_cast<char>(B)))
          << Name << " byte " << B;
    }
  }
  for (const char* Name : {"UTF-8", "CP936", "GB18030", "ISO-8859-1", "CP1250"}) {
    auto Page = Open(Name);
    ASSERT_NE(Page, nullptr);
    EXPECT_FALSE(Page->IsWinAnsi()) << Name;
  }
}

TEST(TCodePage, EveryUnitAgainstAnIndependentTable) {
  auto Utf8Page = Open("UTF-8");
  auto WinAnsi = Open("CP1252");
  ASSERT_NE(Utf8Page, nullptr);
  ASSERT_NE(WinAnsi, nullptr);
  std::map<uint16_t, unsigned char> High;
  for (const auto& H : WinAnsiHigh) High[H.Char] = H.Byte;
  int Failures = 0;
  for (uint32_t U = 0; U < 0x10000 && Failures < 10; ++U) {
    const auto Unit = static_cast<uint16_t>(U);
    const bool Surrogate = U >= 0xD800 && U <= 0xDFFF;
    const std::string Utf8Expected = Surrogate ? Q : Utf8(U);
    std::string WinAnsiExpected = Q;
    if (U < 0x80 || (U >= 0xA0 && U <= 0xFF)) {
      WinAnsiExpected = std::string(1, static_cast<char>(U));
    } else if (auto It = High.find(Unit); It != High.end()) {
      WinAnsiExpected = std::string(1, static_cast<char>(It->second));
    }
    if (Utf8Page->FromUTF16(Unit) != Utf8Expected) {
      ++Failures;
      ADD_FAILURE() << "UTF-8 U+" << std::hex << U << ": " << Hex(Utf8Page->FromUTF16(Unit));
    }
    if (WinAnsi->FromUTF16(Unit) != WinAnsiExpected) {
      ++Failures;
      ADD_FAILURE() << "CP1252 U+" << std::hex << U << ": " << Hex(WinAnsi->FromUTF16(Unit));
    }
  }
  // WinAnsi bytes into UTF-8 agree with the same table.
  for (const auto& H : WinAnsiHigh) EXPECT_EQ(Utf8Page->FromWinAnsi(H.Byte), Utf8(H.Char)) << int(H.Byte);
  for (unsigned char B : WinAnsiUndefined) EXPECT_EQ(Utf8Page->FromWinAnsi(B), Q) << int(B);
  for (unsigned B = 0xA0; B < 0x100; ++B) {
    EXPECT_EQ(Utf8Page->FromWinAnsi(static_cast<unsigned char>(B)), Utf8(B)) << B;
  }
}

TEST(TCodePage, CachedTextStaysPutAndPagesAreIndependent) {
  auto Utf8Page = Open("UTF-8");
  auto Gbk = Open("CP936");
  ASSERT_NE(Utf8Page, nullptr);
  ASSERT_NE(Gbk, nullptr);
  const std::string& Zhong = Utf8Page->FromUTF16(0x4E2D);
  const std::string& Euro = Utf8Page->FromWinAnsi(0x80);
  for (uint32_t U = 0; U < 0x10000; U += 7) Utf8Page->FromUTF16(static_cast<uint16_t>(U));
  for (unsigned B = 0; B < 256; ++B) Utf8Page->FromWinAnsi(static_cast<unsigned char>(B));
  EXPECT_EQ(&Zhong, &Utf8Page->FromUTF16(0x4E2D));
  EXPECT_EQ(Hex(Zhong), "E4 B8 AD");
  EXPECT_EQ(Hex(Euro), "E2 82 AC");
  // Another page's cache is its own.
  EXPECT_EQ(Hex(Gbk->FromUTF16(0x4E2D)), "D6 D0");
  EXPECT_EQ(Hex(Utf8Page->FromUTF16(0x4E2D)), "E4 B8 AD");
}

TEST(TCodePage, NamesThatOpenAndNamesThatDoNot) {
  struct Case {
    const char* Name;
    const char* Expected;  // null: no code page
  } Cases[] = {
      {"UTF-8", "UTF-8"},
      {"utf-8", "UTF-8"},
      {"cp936", "CP936"},
      {"GBK", "GBK"},
      {"gb18030", "GB18030"},
      {"NO-SUCH-CODEPAGE", nullptr},
      {"", nullptr},
      {"UTF-16", nullptr},  // not a superset of ASCII: the output could not be read in it
      {"UTF-32", nullptr},
  };
  for (const auto& C : Cases) {
    auto Page = TCodePage::Create(C.Name);
    if (!C.Expected) {
      EXPECT_EQ(Page, nullptr) << C.Name;
    } else {
      ASSERT_NE(Page, nullptr) << C.Name;
      EXPECT_EQ(Page->Name(), C.Expected);
    }
  }
  EXPECT_EQ(TCodePage::Create(std::string_view("UTF-8\0x", 7)), nullptr);
}

// One code page shared by threads that fill its caches at the same time
// gives every thread what a code page of its own gives (run under the
// sanitizers, a race that corrupts a cache shows here).
TEST(TCodePage, SharedByThreads) {
  for (const char* Name : {"GB18030", "CP1252"}) {
    auto Shared = TCodePage::Create(Name);
    auto Own = TCodePage::Create(Name);
    ASSERT_NE(Shared, nullptr);
    std::vector<std::thread> Threads;
    std::atomic<int> Mismatches{0};
    for (int T = 0; T < 4; ++T)
      Threads.emplace_back([&, T] {
        // Each thread walks the units in its own order, so that they meet
        // on the same blocks and entries.
        for (uint32_t I = 0; I < 0x10000; I += 7) {
          const uint16_t Unit = static_cast<uint16_t>((I * (2 * T + 1) + T * 8191) & 0xFFFF);
          const std::string& Text = Shared->FromUTF16(Unit);
          if (Text.empty()) ++Mismatches;
          Shared->FromWinAnsi(static_cast<unsigned char>(Unit));
          Shared->FromCodePoint(0x1F600 + (Unit & 63));
        }
      });
    for (std::thread& T : Threads) T.join();
    EXPECT_EQ(Mismatches.load(), 0);
    for (uint32_t Unit = 0; Unit < 0x10000; ++Unit)
      ASSERT_EQ(Shared->FromUTF16(static_cast<uint16_t>(Unit)), Own->FromUTF16(static_cast<uint16_t>(Unit)))
          << Name << " " << Unit;
    for (int Byte = 0; Byte < 256; ++Byte)
      EXPECT_EQ(Shared->FromWinAnsi(static_cast<unsigned char>(Byte)), Own->FromWinAnsi(static_cast<unsigned char>(Byte)));
  }
}

TEST(TCodePage, LocaleNameAndDefault) {
  struct Case {
    const char* LcAll;
    const char* Expected;
  } Cases[] = {
      {"C", "UTF-8"},
      {"POSIX", "UTF-8"},
      {"C.UTF-8", "UTF-8"},
      {"xx_NOWHERE.UTF-8", "UTF-8"},  // a locale that does not exist falls back to C
  };
  const std::string Before = ProcessLocale();
  for (const auto& C : Cases) {
    TEnvGuard Env;
    Env.Set("LC_ALL", C.LcAll);
    EXPECT_EQ(TCodePage::LocaleName(), C.Expected) << C.LcAll;
    auto Page = TCodePage::Default();
    ASSERT_NE(Page, nullptr);
    EXPECT_EQ(Page->Name(), C.Expected) << C.LcAll;
  }
  EXPECT_EQ(ProcessLocale(), Before);
}

TEST(TCodePage, LocaleOfAnotherCharacterSet) {
  // A GBK locale compiled into a folder of its own, where the locale sources
  // are installed.
  char Template[] = "/tmp/vorlith-locale-XXXXXX";
  ASSERT_NE(::mkdtemp(Template), nullptr);
  const fs::path Dir = Template;
  const std::string Command =
      "localedef -c -i zh_CN -f GBK '" + (Dir / "zh_CN.GBK").string() + "' >/dev/null 2>&1";
  const int Status = std::system(Command.c_str());
  (void)Status;
  if (!fs::exists(Dir / "zh_CN.GBK" / "LC_CTYPE")) {
    std::error_code Ec;
    fs::remove_all(Dir, Ec);
    GTEST_SKIP() << "localedef or the zh_CN locale sources are missing";
  }
  const std::string Before = ProcessLocale();
  {
    TEnvGuard Env;
    Env.Set("LOCPATH", Dir.c_str());
    Env.Set("LC_ALL", "zh_CN.GBK");
    EXPECT_EQ(TCodePage::LocaleName(), "GBK");
    auto Page = TCodePage::Default();
    ASSERT_NE(Page, nullptr);
    EXPECT_EQ(Hex(Page->FromUTF16(0x4E2D)), "D6 D0");
    EXPECT_FALSE(Page->IsWinAnsi());
    EXPECT_EQ(TCodePage::Default(), Page);  // kept while the character set stays
    // LC_ALL wins over LC_CTYPE; without it LC_CTYPE counts.
    Env.Set("LC_CTYPE", "C");
    EXPECT_EQ(TCodePage::LocaleName(), "GBK");
    Env.Set("LC_ALL", nullptr);
    Env.Set("LANG", "zh_CN.GBK");
    EXPECT_EQ(TCodePage::LocaleName(), "UTF-8");
    EXPECT_EQ(TCodePage::Default()->Name(), "UTF-8");  // not the one kept for GBK
    Env.Set("LC_CTYPE", nullptr);
    EXPECT_EQ(TCodePage::LocaleName(), "GBK");
  }
  EXPECT_EQ(ProcessLocale(), Before);
  std::error_code Ec;
  fs::remove_all(Dir, Ec);
}

}  // namespace
