// Cross-reference reader: start offset, tables, streams and the chain.
#include "uPDFXRef.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "uPDFFlate.h"

namespace {

struct TEntry {
  int32_t Number, Value1;
  char Kind;
  int32_t Value2;
  bool operator==(const TEntry&) const = default;
};

std::ostream& operator<<(std::ostream& Os, const TEntry& E) {
  return Os << "{" << E.Number << ", " << E.Value1 << ", '" << E.Kind << "', " << E.Value2 << "}";
}

// Everything a reader reported for one ReadSection call.
struct TReport {
  bool Ok = false;
  std::vector<TEntry> Entries;
  std::vector<std::string> Trailers;
  std::vector<int32_t> Sections;
};

TReport Read(const std::string& File, int64_t Offset) {
  TXRStringStream Source(File);
  TPDFXRefReader Reader(&Source);
  TReport R;
  Reader.OnEntry = [&](int32_t N, int32_t V1, char K, int32_t V2) { R.Entries.push_back({N, V1, K, V2}); };
  Reader.OnTrailer = [&](const std::string& T) { R.Trailers.push_back(T); };
  Reader.OnSection = [&](int32_t O) { R.Sections.push_back(O); };
  R.Ok = Reader.ReadSection(Offset);
  return R;
}

int32_t StartOf(const std::string& File) {
  TXRStringStream Source(File);
  return TPDFXRefReader(&Source).FindStartXRef();
}

// Packs cross-reference stream rows big-endian with the given widths.
std::string Rows(const std::vector<std::vector<uint32_t>>& Entries, const std::vector<int>& W) {
  std::string S;
  for (const auto& E : Entries)
    for (size_t F = 0; F < W.size(); ++F)
      for (int B = W[F] - 1; B >= 0; --B) S += static_cast<char>((E[F] >> (8 * B)) & 0xFF);
  return S;
}

std::string XRefStreamObject(int Number, const std::string& DictExtra, const std::string& Data) {
  return std::to_string(Number) + " 0 obj\n<< /Type /XRef " + DictExtra + " /Length " + std::to_string(Data.size()) +
         " >>\nstream\n" + Data + "\nendstream\nendobj\n";
}

// ---------------------------------------------------------------- start offset

TEST(FindStartXRef, TakesTheNumberBeforeTheLastEof) {
  struct Case {
    std::string Tail;
    int32_t Expected;
  } Cases[] = {
      {"startxref\n1234\n%%EOF\n", 1234},
      {"startxref\n100\n%%EOF\nstartxref\n200\n%%EOF\n", 200},
      {"startxref\n100\n%%EOF%%EOF", 0},         // the second follows the first directly
      {"startxref\n99%%EOF", 99},
      {"startxref 567 ", 567},                   // no %%EOF: the number after startxref
      {"startxref\r\n  \t42\r\n", 42},
      {"startxref\n%%EOF", 0},
      {"nothing here", 0},
      {"startxref\n99999999999\n%%EOF", 0},      // does not fit 32 bits
  };
  for (const auto& C : Cases) EXPECT_EQ(StartOf("%PDF-1.4\n" + C.Tail), C.Expected) << C.Tail;
  // Only the last 1024 bytes count.
  EXPECT_EQ(StartOf("%PDF-1.4\nstartxref\n77\n%%EOF\n" + std::string(1100, ' ')), 0);
  EXPECT_EQ(StartOf(std::string(6000, '7') + "  %%EOF"), 0);  // digits are looked for within 5000 bytes
}

// ---------------------------------------------------------------- classic tables

const std::string Body = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";

TEST(ReadXRefTable, EntriesAndTrailer) {
  for (std::string Eol : {"\r\n", " \n", "\n"}) {  // 20- and 19-byte entries
    const std::string Table = "xref\n0 2\n0000000000 65535 f" + Eol + "0000000009 00000 n" + Eol +
                              "5 2\n0000000100 00002 n" + Eol + "0000000200 00000 f" + Eol +
                              "trailer\n<< /Size 7 /Root 1 0 R >>\n";
    const std::string File = Body + Table;
    TReport R = Read(File, static_cast<int64_t>(Body.size()));
    ASSERT_TRUE(R.Ok) << Eol.size();
    const std::vector<TEntry> Expected = {{0, 0, 'f', 65535}, {1, 9, 'n', 0}, {5, 100, 'n', 2}, {6, 200, 'f', 0}};
    EXPECT_EQ(R.Entries, Expected);
    ASSERT_EQ(R.Trailers.size(), 1u);
    EXPECT_NE(R.Trailers[0].find("/Root 1 0 R"), std::string::npos);
    EXPECT_EQ(R.Sections, std::vector<int32_t>{static_cast<int32_t>(Body.size())});
  }
}

TEST(ReadSection, IdentifiesTheSection) {
  const std::string Table = "xref\n0 1\n0000000000 65535 f\r\ntrailer\n<< /Size 1 >>\n";
  const std::string File = Body + Table;
  const int64_t At = static_cast<int64_t>(Body.size());
  EXPECT_TRUE(Read(File, At).Ok);
  EXPECT_TRUE(Read(File, At + 3).Ok);   // a few bytes late: the window starts 10 bytes early
  EXPECT_TRUE(Read(File, At - 8).Ok);   // early: the first "xref" in the window
  EXPECT_FALSE(Read(File, 0).Ok);       // " obj" stands before "xref"... and is no stream
  EXPECT_FALSE(Read("%PDF-1.4\nstartxref\n5\n%%EOF", 9).Ok);  // the tail of "startxref" is no table
  EXPECT_FALSE(Read(File, 100000).Ok);
}

TEST(ReadXRefTable, HeadersThatEndTheSubsections) {
  struct Case {
    const char* What;
    std::string Table;
    bool Ok;
    size_t Entries;
  } Cases[] = {
      {"count 0", "xref\n0 0\ntrailer\n<< /Size 1 >>\n", true, 0},
      {"no numbers", "xref\n\n\ntrailer << /Size 1 >>", true, 0},
      {"no digit in the header window", "xref\n/////////////////////////trailer << /Size 1 >>", true, 0},
      {"no trailer", "xref\n0 1\n0000000000 65535 f\r\n", false, 1},
      {"trailer without a dictionary", "xref\n0 1\n0000000000 65535 f\r\ntrailer\n[1 2]\n", false, 1},
      {"trailer without >>", "xref\n0 1\n0000000000 65535 f\r\ntrailer\n<< /Size 1\n", false, 1},
      {"count larger than the entries", "xref\n0 3\n0000000000 65535 f\r\n0000000009 00000 n\r\ntrailer\n<< /Size 3 >>\n",
       false, 3},
  };
  for (const auto& C : Cases) {
    TReport R = Read(Body + C.Table, static_cast<int64_t>(Body.size()));
    EXPECT_EQ(R.Ok, C.Ok) << C.What;
    EXPECT_EQ(R.Entries.size(), C.Entries) << C.What;
  }
}

TEST(ReadXRefTable, HugeCountsAreBoundedByTheFile) {
  const std::string File = Body + "xref\n0 2000000000\n0000000000 65535 f\r\ntrailer\n<< /Size 1 >>\n";
  TReport R = Read(File, static_cast<int64_t>(Body.size()));
  EXPECT_LT(R.Entries.size(), 10u);
}

TEST(ReadSection, PrevChainNewestFirstAndLoopsEnd) {
  std::string File = Body;
  const int64_t First = static_cast<int64_t>(File.size());
  File += "xref\n0 2\n0000000000 65535 f\r\n0000000009 00000 n\r\ntrailer\n<< /Size 2 /Info 9 0 R >>\n";
  const int64_t Second = static_cast<int64_t>(File.size());
  File += "xref\n1 1\n0000000050 00000 n\r\n3 1\n0000000060 00000 n\r\ntrailer\n<< /Size 4 /Prev " +
          std::to_string(First) + " >>\n";
  TReport R = Read(File, Second);
  ASSERT_TRUE(R.Ok);
  const std::vector<TEntry> Expected = {{1, 50, 'n', 0}, {3, 60, 'n', 0}, {0, 0, 'f', 65535}, {1, 9, 'n', 0}};
  EXPECT_EQ(R.Entries, Expected);
  EXPECT_EQ(R.Sections, (std::vector<int32_t>{static_cast<int32_t>(Second), static_cast<int32_t>(First)}));
  ASSERT_EQ(R.Trailers.size(), 2u);

  // A Prev that cannot be read fails the whole chain...
  std::string Broken = Body + "xref\n0 1\n0000000000 65535 f\r\ntrailer\n<< /Size 1 /Prev 3 >>\n";
  EXPECT_FALSE(Read(Broken, static_cast<int64_t>(Body.size())).Ok);
  // ...and a Prev leading back to a section already read ends it.
  const std::string Self = Body + "xref\n0 1\n0000000000 65535 f\r\ntrailer\n<< /Size 1 /Prev " +
                           std::to_string(Body.size()) + " >>\n";
  TReport Loop = Read(Self, static_cast<int64_t>(Body.size()));
  EXPECT_TRUE(Loop.Ok);
  EXPECT_EQ(Loop.Sections.size(), 1u);
}

// ---------------------------------------------------------------- cross-reference streams

TEST(ReadXRefStream, FieldsTypesAndSubsections) {
  struct Case {
    const char* What;
    std::string Dict;
    std::string Data;
    std::vector<TEntry> Expected;
  } Cases[] = {
      {"all three types, no Index: objects from 0", "/Size 3 /W [1 2 1]",
       Rows({{0, 0, 255}, {1, 300, 0}, {2, 7, 4}}, {1, 2, 1}),
       {{0, 0, 'f', 255}, {1, 300, 'n', 0}, {2, 7, 'c', 4}}},
      {"W 1 2 0: generation 0", "/Size 2 /W [1 2 0]", Rows({{1, 10}, {1, 20}}, {1, 2}),
       {{0, 10, 'n', 0}, {1, 20, 'n', 0}}},
      {"W1 = 0: every entry in use", "/Size 2 /W [0 2 1]", Rows({{10, 1}, {20, 2}}, {2, 1}),
       {{0, 10, 'n', 1}, {1, 20, 'n', 2}}},
      {"Index pairs", "/Size 20 /Index [5 1 10 2] /W [1 4 2]", Rows({{1, 70000, 3}, {1, 9, 0}, {2, 4, 1}}, {1, 4, 2}),
       {{5, 70000, 'n', 3}, {10, 9, 'n', 0}, {11, 4, 'c', 1}}},
      {"unknown types read as blank, later entries stay aligned", "/Size 3 /W [1 1 1]",
       Rows({{1, 5, 0}, {7, 9, 9}, {1, 6, 0}}, {1, 1, 1}), {{0, 5, 'n', 0}, {1, 0, ' ', 0}, {2, 6, 'n', 0}}},
      {"Index claims more than the data hold", "/Size 9 /Index [0 1000000] /W [1 1 1]",
       Rows({{1, 5, 0}, {1, 6, 0}}, {1, 1, 1}) + "\x01", {{0, 5, 'n', 0}, {1, 6, 'n', 0}}},
      {"no W", "/Size 1", Rows({{1, 5, 0}}, {1, 1, 1}), {}},
      {"W of zero width", "/Size 1000000 /W [0 0 0]", "", {}},
  };
  for (const auto& C : Cases) {
    const std::string File = Body + XRefStreamObject(9, C.Dict, C.Data);
    TReport R = Read(File, static_cast<int64_t>(Body.size()));
    EXPECT_TRUE(R.Ok) << C.What;
    EXPECT_EQ(R.Entries, C.Expected) << C.What;
    EXPECT_EQ(R.Trailers.size(), 1u) << C.What;
  }
}

TEST(ReadXRefStream, CompressedWithPredictor) {
  // PNG Up rows of 1 tag byte and 4 data bytes.
  const std::string Raw = Rows({{1, 100, 0}, {1, 356, 0}, {2, 9, 1}}, {1, 2, 1});
  std::string Png;
  std::string Prev(4, '\0');
  for (size_t R = 0; R < Raw.size(); R += 4) {
    Png += '\2';
    for (int K = 0; K < 4; ++K) Png += static_cast<char>(Raw[R + K] - Prev[K]);
    Prev = Raw.substr(R, 4);
  }
  const std::string File =
      Body + XRefStreamObject(9, "/Size 3 /W [1 2 1] /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 4 >>",
                              DeflateBytes(Png));
  TReport R = Read(File, static_cast<int64_t>(Body.size()));
  ASSERT_TRUE(R.Ok);
  EXPECT_EQ(R.Entries, (std::vector<TEntry>{{0, 100, 'n', 0}, {1, 356, 'n', 0}, {2, 9, 'c', 1}}));
}

TEST(ReadXRefStream, FailuresAndIndirectValues) {
  const int64_t At = static_cast<int64_t>(Body.size());
  // Not a cross-reference stream, or no direct Size: the section fails.
  EXPECT_FALSE(Read(Body + "9 0 obj\n<< /Type /Page /Size 2 >>\nendobj\n", At).Ok);
  EXPECT_FALSE(Read(Body + "9 0 obj\n<< /Type /XRef /Size 3 0 R >>\nendobj\n", At).Ok);
  // An indirect Length: no entries, but the trailer and Prev still count.
  std::string File = Body;
  const int64_t Old = static_cast<int64_t>(File.size());
  File += "xref\n0 1\n0000000000 65535 f\r\ntrailer\n<< /Size 1 >>\n";
  const int64_t New = static_cast<int64_t>(File.size());
  File += "9 0 obj\n<< /Type /XRef /Size 3 /W [1 1 1] /Length 10 0 R /Prev " + std::to_string(Old) +
          " >>\nstream\n\x01\x05\x00\nendstream\nendobj\n";
  TReport R = Read(File, New);
  EXPECT_TRUE(R.Ok);
  EXPECT_EQ(R.Entries, (std::vector<TEntry>{{0, 0, 'f', 65535}}));
  EXPECT_EQ(R.Trailers.size(), 2u);
}

// ---------------------------------------------------------------- hybrid files

TEST(ReadSection, HybridFileReportsTableThenStreamThenPrev) {
  std::string File = Body;
  const int64_t Old = static_cast<int64_t>(File.size());
  File += "xref\n0 1\n0000000000 65535 f\r\ntrailer\n<< /Size 1 >>\n";
  // The stream stands shortly before the table: its window also holds "xref".
  const int64_t Stream = static_cast<int64_t>(File.size());
  File += XRefStreamObject(9, "/Size 5 /Index [3 2] /W [1 1 1]", Rows({{2, 20, 0}, {1, 44, 0}}, {1, 1, 1}));
  const int64_t Table = static_cast<int64_t>(File.size());
  File += "xref\n4 1\n0000000040 00000 n\r\ntrailer\n<< /Size 5 /XRefStm " + std::to_string(Stream) + " /Prev " +
          std::to_string(Old) + " >>\n";
  TReport R = Read(File, Table);
  ASSERT_TRUE(R.Ok);
  const std::vector<TEntry> Expected = {{4, 40, 'n', 0}, {3, 20, 'c', 0}, {4, 44, 'n', 0}, {0, 0, 'f', 65535}};
  EXPECT_EQ(R.Entries, Expected);
  EXPECT_EQ(R.Sections, (std::vector<int32_t>{static_cast<int32_t>(Table), static_cast<int32_t>(Stream),
                                              static_cast<int32_t>(Old)}));
  // A failing XRefStm does not fail the table.
  std::string Bad = Body + "xref\n0 1\n0000000000 65535 f\r\ntrailer\n<< /Size 1 /XRefStm 3 >>\n";
  EXPECT_TRUE(Read(Bad, static_cast<int64_t>(Body.size())).Ok);
}

TEST(TXRStringStream, ReadAndSeekClamp) {
  TXRStringStream S("abcdef");
  char Buf[8] = {};
  EXPECT_EQ(S.Seek(4, 0), 4);
  EXPECT_EQ(S.Read(Buf, 8), 2);
  EXPECT_EQ(std::string(Buf, 2), "ef");
  EXPECT_EQ(S.Seek(-10, 1), 0);
  EXPECT_EQ(S.Seek(2, 2), 4);
  EXPECT_EQ(S.Seek(100, 0), 6);
  EXPECT_EQ(S.Read(Buf, 3), 0);
}

// ---------------------------------------------------------------- the rebuild scan

std::vector<std::string> HeadersOf(const std::string& Data) {
  std::vector<std::string> Out;
  for (const TPDFObjectHeader& H : ScanFile(Data).Headers)
    Out.push_back(std::to_string(H.Number) + " " + std::to_string(H.Generation) + " @" + std::to_string(H.Offset));
  return Out;
}

TEST(ScanFile, ObjectHeaders) {
  struct Case {
    const char* What;
    std::string Data;
    std::vector<std::string> Headers;
  } Cases[] = {
      {"plain", "%PDF-1.4\n1 0 obj\n(a)\nendobj\n12 3 obj<<>>endobj", {"1 0 @9", "12 3 @28"}},
      {"at the start, other white space", "7\r\n0\t\fobj", {"7 0 @0"}},
      {"after a delimiter", "]4 0 obj\n>>5 0 obj", {"4 0 @1", "5 0 @11"}},
      {"endobj is no header", "1 0 obj\nendobj endobj", {"1 0 @0"}},
      {"a number glued to a word", "x1 0 obj a1 0 obj", {}},
      {"obj glued to a word", "1 0 objx 2 0 obj/", {"2 0 @9"}},
      {"one number only", "1 obj 0 obj", {}},
      {"runs of more than 10 digits", "12345678901 0 obj 1 12345678901 obj", {}},
      {"beyond 32 bits", "9999999999 0 obj", {}},
      {"at the very end", "3 0 obj", {"3 0 @0"}},
  };
  for (const auto& C : Cases) EXPECT_EQ(HeadersOf(C.Data), C.Headers) << C.What;
}

TEST(ScanFile, StreamDataIsSkippedAndEndstreamsKept) {
  const std::string Data =
      "1 0 obj\n<< /Length 99 >>\nstream\n2 0 obj trailer /ObjStm\nendstream\nendobj\n"  // data look like objects
      "3 0 obj\n<< /Type /ObjStm >>stream\r\nxx\r\nendstream endobj\n"
      "4 0 obj\n(no stream keyword: stream) endobj\n"
      "5 0 obj\n<< /Type /XRef >>\nstream\nno end follows: 6 0 obj\n"
      "trailer\n<< /Root 1 0 R >>\ntrailers /XRefs /ObjStmX";
  const TPDFFileScan Scan = ScanFile(Data);
  std::vector<int32_t> Numbers;
  for (const auto& H : Scan.Headers) Numbers.push_back(H.Number);
  EXPECT_EQ(Numbers, (std::vector<int32_t>{1, 3, 4, 5, 6}));
  ASSERT_EQ(Scan.EndStreams.size(), 2u);
  EXPECT_EQ(Scan.EndStreams[0], static_cast<int32_t>(Data.find("endstream")));
  EXPECT_EQ(Scan.EndStreams[1], static_cast<int32_t>(Data.find("endstream", Data.find("3 0 obj"))));
  EXPECT_EQ(Scan.Trailers, (std::vector<int32_t>{static_cast<int32_t>(Data.find("trailer\n<<"))}));
  EXPECT_EQ(Scan.ObjStmMarks, (std::vector<int32_t>{static_cast<int32_t>(Data.find("/ObjStm >>"))}));
  EXPECT_EQ(Scan.XRefMarks, (std::vector<int32_t>{static_cast<int32_t>(Data.find("/XRef >>"))}));
  EXPECT_EQ(Scan.HeaderBefore(Scan.ObjStmMarks[0]), 1);
  EXPECT_EQ(Scan.HeaderBefore(0), 0);
  EXPECT_EQ(ScanFile("x 1 0 obj").HeaderBefore(0), -1);
}

TEST(ScanFile, LinearOnHostileRepetitions) {
  // Long runs of near-headers, unterminated streams and keywords: each byte
  // is looked at a bounded number of times (a quadratic scan would take
  // minutes here under the sanitizers).
  std::string Data;
  for (int I = 0; I < 200000; ++I) Data += "1 0 obj stream\n";
  const TPDFFileScan Scan = ScanFile(Data);
  EXPECT_EQ(Scan.Headers.size(), 200000u);
  std::string Spaces(4 << 20, ' ');
  Spaces += "obj";
  EXPECT_TRUE(ScanFile(Spaces).Headers.empty());
  std::string Words;
  for (int I = 0; I < 300000; ++I) Words += "endstrea/XRe trailerX";
  EXPECT_TRUE(ScanFile(Words).Trailers.empty());
}

}  // namespace
