// The CMap reader: ToUnicode maps, encoding CMaps and the predefined store.
#include "uPDFCMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "CodePage.h"
#include "ResourceData.h"
#include "uPDFFontConst.h"

namespace {

std::string CMapText(const std::string& Body, const std::string& Codespace = "<0000> <FFFF>") {
  return std::string("/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n") +
         (Codespace.empty() ? "" : "1 begincodespacerange\n" + Codespace + "\nendcodespacerange\n") + Body +
         "\nendcmap CMapName currentdict /CMap defineresource pop end end";
}

// "4E2D", "0066+0069" or "-" per code, space separated.
std::string Lookups(const TPDFCMap& Map, std::initializer_list<uint32_t> Codes) {
  std::string Out;
  for (uint32_t C : Codes) {
    std::u32string Chars;
    if (!Out.empty()) Out += ' ';
    if (!Map.Lookup(C, Chars)) {
      Out += '-';
      continue;
    }
    for (size_t I = 0; I < Chars.size(); ++I) {
      char Buf[16];
      std::snprintf(Buf, sizeof Buf, I ? "+%04X" : "%04X", static_cast<unsigned>(Chars[I]));
      Out += Buf;
    }
  }
  return Out;
}

TEST(ParseToUnicode, EverySectionAndDestinationForm) {
  struct Case {
    const char* What;
    std::string Text;
    std::string Expected;  // codes 0, 3, 4, 5, 6, 0x41
  } Cases[] = {
      {"bfrange", CMapText("1 beginbfrange\n<0003> <0005> <0041>\nendbfrange"), "- 0041 0042 0043 - -"},
      {"no codespace range: no map", CMapText("1 beginbfrange\n<0003> <0005> <0041>\nendbfrange", ""),
       "- - - - - -"},
      {"bfchar: source 0 skipped, reading goes on",
       CMapText("3 beginbfchar\n<0000> <0030>\n<0004> <0058>\n<0041> <0061>\nendbfchar"), "- - 0058 - - 0061"},
      {"every bfchar section, as dvipdfmx writes them 100 at a time",
       CMapText("1 beginbfchar\n<0003> <0031>\nendbfchar\n1 beginbfchar\n<0004> <0032>\nendbfchar\n"
                "1 beginbfrange\n<0005> <0006> <0035>\nendbfrange\n1 beginbfrange\n<0041> <0041> <0061>\nendbfrange"),
       "- 0031 0032 0035 0036 0061"},
      {"a surrogate pair is one character beyond the BMP",
       CMapText("3 beginbfchar\n<0003> <0031>\n<0004> <D835DC00>\n<0005> <0033>\nendbfchar"), "- 0031 1D400 0033 - -"},
      {"a destination of several units keeps all of them (pdfTeX's fi)",
       CMapText("1 beginbfchar\n<0003> <00660069>\nendbfchar"), "- 0066+0069 - - - -"},
      {"a range of multi-unit destinations raises the last one",
       CMapText("1 beginbfrange\n<0003> <0005> <00660069>\nendbfrange"), "- 0066+0069 0066+006A 0066+006B - -"},
      {"an array gives each code its own destination (gropdf)",
       CMapText("2 beginbfrange\n<0003> <0004> [<00660066> <0069>]\n<0005> <0006> <0043>\nendbfrange"),
       "- 0066+0066 0069 0043 0044 -"},
      {"an array longer than its range is cut",
       CMapText("1 beginbfrange\n<0003> <0003> [<0041> <0042>]\nendbfrange"), "- 0041 - - - -"},
      {"hex digits split by white space", CMapText("1 beginbfchar\n<00 04> <00 5 8>\nendbfchar"), "- - 0058 - - -"},
      {"bfrange entries come before bfchar entries",
       CMapText("1 beginbfchar\n<0041> <0062>\nendbfchar\n1 beginbfrange\n<0041> <0041> <0063>\nendbfrange"),
       "- - - - - 0063"},
      {"the smaller first code wins an overlap",
       CMapText("2 beginbfrange\n<0041> <0041> <0061>\n<0020> <007E> <0020>\nendbfrange"), "- - - - - 0041"},
      {"counts that lie",
       CMapText("100 beginbfchar\n<0003> <0031>\nendbfchar 0 beginbfchar\n<0004> <0032>\nendbfchar"),
       "- 0031 0032 - - -"},
      {"a one-byte codespace", CMapText("1 beginbfchar\n<41> <0061>\nendbfchar", "<00> <FF>"), "- - - - - 0061"},
      {"a truncated stream keeps what came whole",
       "1 begincodespacerange <0000> <FFFF> endcodespacerange 2 beginbfchar <0003> <0031> <0004> <00", "- 0031 - - - -"},
      {"a section without its end", CMapText("1 beginbfchar\n<0003> <0031>\n"), "- 0031 - - - -"},
  };
  for (const auto& C : Cases) EXPECT_EQ(Lookups(ParseToUnicode(C.Text), {0, 3, 4, 5, 6, 0x41}), C.Expected) << C.What;
  EXPECT_TRUE(ParseToUnicode("").Empty());
  EXPECT_TRUE(ParseToUnicode(CMapText("endbfrange <0001> <0002> <0003> beginbfrange")).Empty());
}

TEST(ParseToUnicode, EqualFirstCodesKeepTheExchangeSortOrder) {
  // First codes 5, 3, 3, 1: the exchange sort leaves the second range
  // starting at 3 before the first, so it is the one code 3 finds.
  const TPDFCMap Map = ParseToUnicode(CMapText(
      "4 beginbfrange\n<0005> <0005> <0100>\n<0003> <0009> <0200>\n<0003> <0009> <0300>\n<0001> <0001> <0400>\nendbfrange"));
  EXPECT_EQ(Lookups(Map, {1, 3, 5, 9}), "0400 0300 0302 0306");
}

TEST(ParseToUnicode, AgreesWithALinearScanOfTheSortedRanges) {
  std::mt19937 Rng(7);
  for (int Round = 0; Round < 20; ++Round) {
    struct TRange {
      uint32_t First, Last, Dest;
    };
    std::vector<TRange> Ranges;
    std::string Body;
    const int N = 1 + static_cast<int>(Rng() % 200);
    std::vector<uint32_t> Firsts;
    for (int I = 0; I < N; ++I) {
      const uint32_t First = Rng() % 65000;
      if (std::find(Firsts.begin(), Firsts.end(), First) != Firsts.end()) continue;  // distinct first codes
      Firsts.push_back(First);
      const uint32_t Last = std::min<uint32_t>(First + Rng() % 300, 0xFFFF);
      const uint32_t Dest = 0x100 + Rng() % 0xC000;
      Ranges.push_back({First, Last, Dest});
      char Line[64];
      std::snprintf(Line, sizeof Line, "<%04X> <%04X> <%04X>\n", First, Last, Dest);
      Body += Line;
    }
    const TPDFCMap Map = ParseToUnicode(CMapText("1 beginbfrange\n" + Body + "endbfrange"));
    std::sort(Ranges.begin(), Ranges.end(), [](const TRange& A, const TRange& B) { return A.First < B.First; });
    for (uint32_t Code = 0; Code < 65536; Code += 7) {
      std::u32string Want, Got;
      for (const auto& R : Ranges)
        if (R.First <= Code && Code <= R.Last) {
          Want = std::u32string(1, static_cast<char32_t>(R.Dest + (Code - R.First)));
          break;
        }
      Map.Lookup(Code, Got);
      ASSERT_EQ(Got, Want) << Code;
    }
  }
}

// Codes as "41 8140", split by a map's codespace.
std::string Split(const TPDFCMap& Map, std::string_view Bytes) {
  std::string Out;
  uint32_t Code;
  for (size_t Pos = 0; Map.NextCode(Bytes, Pos, Code);) {
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, Out.empty() ? "%X" : " %X", Code);
    Out += Buf;
  }
  return Out;
}

TEST(TPDFCMap, CodespacesOfOneTwoAndMixedLengths) {
  struct Case {
    const char* What;
    std::string Codespace;
    std::string Bytes;
    std::string Expected;
  } Cases[] = {
      {"two bytes", "<0000> <FFFF>", "\x01\x02\x03\x04\x05", "102 304"},
      {"one byte", "<00> <FF>", "AB", "41 42"},
      {"one and two bytes (GBK-EUC)", "<00> <80>\n<8140> <FEFE>", "A\x81\x40" "B\xD6\xD0", "41 8140 42 D6D0"},
      {"one, two and four bytes (GB18030)", "<00> <80>\n<8140> <FEFE>\n<81308130> <FE39FE39>",
       "\x81\x30\x81\x30" "A\x82\x40", "81308130 41 8240"},
      {"one and two bytes (RKSJ)", "<00> <80>\n<8140> <9FFC>\n<A0> <DF>\n<E040> <FCFC>", "\xB1\x88\x9F" "a",
       "B1 889F 61"},
      {"a cut-off code adds nothing", "<00> <80>\n<8140> <FEFE>", "A\x81", "41"},
      {"a byte outside the codespace: the shortest code it could open", "<8140> <FEFE>", "\x81\x20\x41\x41", "8120 4141"},
  };
  for (const auto& C : Cases) {
    TPDFCMap Map;
    Map.Parse(CMapText("", C.Codespace));
    Map.Finish();
    EXPECT_EQ(Split(Map, C.Bytes), C.Expected) << C.What;
  }
  TPDFCMap NoCodespace;
  NoCodespace.Finish();
  EXPECT_EQ(Split(NoCodespace, "AB"), "41 42");
}

TEST(TPDFCMap, CIDsAndCollectionNames) {
  TPDFCMap Map;
  Map.Parse(CMapText("/CIDSystemInfo 3 dict dup begin /Registry (Adobe) def /Ordering (GB1) def /Supplement 5 def end def\n"
                     "/WMode 1 def\n"
                     "1 begincidrange\n<0020> <007E> 1\nendcidrange\n"
                     "2 begincidchar\n<0041> 500\n<4E2D> 4559\nendcidchar\n"
                     "1 beginnotdefrange\n<0000> <001F> 7\nendnotdefrange"));
  Map.Finish();
  EXPECT_EQ(Map.Registry, "Adobe");
  EXPECT_EQ(Map.Ordering, "GB1");
  EXPECT_EQ(Map.WMode, 1);
  EXPECT_EQ(Map.LookupCID(0x20), 1u);
  EXPECT_EQ(Map.LookupCID(0x40), 33u);
  EXPECT_EQ(Map.LookupCID(0x41), 500u);  // the later definition wins
  EXPECT_EQ(Map.LookupCID(0x4E2D), 4559u);
  EXPECT_EQ(Map.LookupCID(0x05), 7u);  // notdef
  EXPECT_EQ(Map.LookupCID(0x9000), std::nullopt);
}

// CID ranges in any order against a linear scan in which the later
// definition wins: sets whose ranges share no code (each range then stands
// whole, whatever the order), sets that overlap, and ranges written backwards
// (which map nothing).
TEST(TPDFCMap, CIDRangesAgreeWithALinearScan) {
  std::mt19937 Rng(11);
  for (int Round = 0; Round < 40; ++Round) {
    struct TRange {
      uint32_t First, Last, CID;
    };
    std::vector<TRange> Ranges;
    const bool Disjoint = Round % 2 == 0;
    uint32_t Next = Rng() % 50;
    const int N = 1 + static_cast<int>(Rng() % 150);
    for (int I = 0; I < N && Next < 0xFF00; ++I) {
      const uint32_t First = Disjoint ? Next : Rng() % 0xFF00;
      const uint32_t Last = First + Rng() % 200;
      if (Disjoint) Next = Last + 1 + Rng() % 3;  // some touch, none overlap
      Ranges.push_back(Rng() % 10 == 0 ? TRange{Last + 1, First, 7} : TRange{First, Last, static_cast<uint32_t>(1 + Rng() % 60000)});
    }
    std::shuffle(Ranges.begin(), Ranges.end(), Rng);
    std::string Body = std::to_string(Ranges.size()) + " begincidrange\n";
    for (const auto& R : Ranges) {
      char Line[64];
      std::snprintf(Line, sizeof Line, "<%04X> <%04X> %u\n", R.First, R.Last, R.CID);
      Body += Line;
    }
    TPDFCMap Map;
    Map.Parse(CMapText(Body + "endcidrange"));
    Map.Finish();
    for (uint32_t Code = 0; Code < 65536; Code += 3) {
      std::optional<uint32_t> Want;
      for (auto It = Ranges.rbegin(); It != Ranges.rend(); ++It)
        if (It->First <= Code && Code <= It->Last) {
          Want = It->CID + (Code - It->First);
          break;
        }
      ASSERT_EQ(Map.LookupCID(Code), Want) << "round " << Round << " code " << Code;
    }
  }
}

// A folder of CMap files for a store.
struct TCMapFolder {
  TCMapFolder() {
    Root = std::filesystem::temp_directory_path() / ("vorlith-cmaps-" + std::to_string(::getpid()));
    std::filesystem::create_directories(Root / "Test-Coll");
  }
  ~TCMapFolder() { std::filesystem::remove_all(Root); }
  void Write(const std::string& Name, const std::string& Text, const std::string& Sub = "Test-Coll") {
    std::ofstream(Root / Sub / Name, std::ios::binary) << Text;
  }
  std::filesystem::path Root;
};

TEST(TPDFCMapStore, UseCMapChainsLoopsAndNames) {
  TCMapFolder Folder;
  Folder.Write("Base-H", CMapText("/Registry (Adobe) /Ordering (Test)\n2 begincidrange\n<0020> <007E> 1\n<3000> <3FFF> 200\nendcidrange"));
  Folder.Write("Base-V", CMapText("/Base-H usecmap\n1 begincidchar\n<3001> 9999\nendcidchar", ""));
  Folder.Write("Loop-A", CMapText("/Loop-B usecmap"));
  Folder.Write("Loop-B", CMapText("/Loop-A usecmap"));
  Folder.Write("Self", CMapText("/Self usecmap 1 begincidchar <0041> 5 endcidchar"), "");
  TResourceData Data({Folder.Root.string()});
  TPDFCMapStore Store(Data);

  auto Vertical = Store.Find("Base-V");
  ASSERT_NE(Vertical, nullptr);
  EXPECT_EQ(Vertical->LookupCID(0x3001), 9999u);  // its own mapping first
  EXPECT_EQ(Vertical->LookupCID(0x3002), 202u);   // then the one it uses
  EXPECT_EQ(Split(*Vertical, "\x30\x01"), "3001");  // and that one's codespace
  EXPECT_EQ(Store.Find("Base-V"), Vertical);        // read once
  EXPECT_NE(Store.Find("Loop-A"), nullptr);         // a loop ends
  ASSERT_NE(Store.Find("Self"), nullptr);           // found in the folder itself
  EXPECT_EQ(Store.Find("Self")->LookupCID(0x41), 5u);
  for (const char* Name : {"Missing-H", "../Test-Coll/Base-H", "Test-Coll/Base-H", ".hidden", "", "Identity-H"})
    EXPECT_EQ(Store.Find(Name), nullptr) << Name;
}

TEST(TPDFCMapStore, InstalledChineseMapsRoundTrip) {
  TPDFCMapStore& Store = TPDFCMapStore::Installed();
  auto Encoding = Store.Find("UniGB-UCS2-H");
  if (!Encoding) GTEST_SKIP() << "poppler-data's CMaps are not installed";
  auto ToUnicode = Store.CIDToUnicode("Adobe", "GB1");
  ASSERT_NE(ToUnicode, nullptr);
  for (uint32_t Char : {0x4E2Du, 0x6587u, 0x0041u}) {
    const auto CID = Encoding->LookupCID(Char);
    ASSERT_TRUE(CID) << Char;
    std::u32string Back;
    ASSERT_TRUE(ToUnicode->Lookup(*CID, Back)) << Char;
    EXPECT_EQ(Back, std::u32string(1, static_cast<char32_t>(Char)));
  }
  // The vertical form uses the horizontal one and changes a few codes only.
  auto Vertical = Store.Find("UniGB-UCS2-V");
  ASSERT_NE(Vertical, nullptr);
  EXPECT_EQ(Vertical->LookupCID(0x4E2D), Encoding->LookupCID(0x4E2D));
  EXPECT_EQ(Store.CIDToUnicode("Adobe", "Identity"), nullptr);
  EXPECT_EQ(Store.CIDToUnicode("Foo", "GB1"), nullptr);
}

TEST(UnicodeToText, LigaturesAsLettersAndMissingCharacters) {
  auto UTF8 = TCodePage::Create("UTF-8");
  auto CP1252 = TCodePage::Create("CP1252");
  ASSERT_TRUE(UTF8 && CP1252);
  EXPECT_EQ(UnicodeToText(U"\uFB01le \uFB04", *UTF8), "file ffl");
  EXPECT_EQ(UnicodeToText(U"\U0001D400\u4E2D", *UTF8), "\xF0\x9D\x90\x80\xE4\xB8\xAD");
  EXPECT_EQ(UnicodeToText(U"\uFB01\u4E2D\u00E9", *CP1252), "fi?\xE9");
}

}  // namespace
