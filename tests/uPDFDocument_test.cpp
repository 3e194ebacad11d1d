// Documents: the load sequence, the object table, object streams and stream data.
#include "uPDFDocument.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "TestPDFWriter.h"
#include "uPDFPageTree.h"

namespace {

// A file of raw object texts (each "N G obj ... endobj\n") listed by an
// uncompressed cross-reference stream, W [1 4 2], together with entries of
// objects in object streams: {number, stream number, index}.
std::string AssembleWithXRefStream(const std::vector<std::pair<int, std::string>>& Objects,
                                   const std::vector<std::array<int, 3>>& Compressed, const std::string& Trailer) {
  std::string File = "%PDF-1.5\n";
  std::map<int, std::array<uint32_t, 3>> Rows;
  for (const auto& [Number, Text] : Objects) {
    Rows[Number] = {1, static_cast<uint32_t>(File.size()), 0};
    File += Text;
  }
  for (const auto& C : Compressed) Rows[C[0]] = {2, static_cast<uint32_t>(C[1]), static_cast<uint32_t>(C[2])};
  const int XRefNumber = Rows.empty() ? 1 : Rows.rbegin()->first + 1;
  const size_t XRefAt = File.size();
  Rows[XRefNumber] = {1, static_cast<uint32_t>(XRefAt), 0};
  std::string Data, Index;
  for (const auto& [Number, R] : Rows) {
    Index += std::to_string(Number) + " 1 ";
    Data += static_cast<char>(R[0]);
    for (int B = 3; B >= 0; --B) Data += static_cast<char>((R[1] >> (8 * B)) & 0xFF);
    Data += static_cast<char>((R[2] >> 8) & 0xFF);
    Data += static_cast<char>(R[2] & 0xFF);
  }
  File += std::to_string(XRefNumber) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(XRefNumber + 1) +
          " /Index [" + Index + "] /W [1 4 2] /Length " + std::to_string(Data.size()) + " " + Trailer +
          " >>\nstream\n" + Data + "\nendstream\nendobj\nstartxref\n" + std::to_string(XRefAt) + "\n%%EOF\n";
  return File;
}

// Replaces the first From by To (of the same length: offsets stay right).
std::string Patch(std::string File, const std::string& From, const std::string& To) {
  EXPECT_EQ(From.size(), To.size());
  size_t P = File.find(From);
  EXPECT_NE(P, std::string::npos) << From;
  if (P != std::string::npos) File.replace(P, From.size(), To);
  return File;
}

std::string TextOf(TPDFDocument& Doc, int Number) {
  TPDFObject* Obj = Doc.LookupObject(Number, 0);
  return Obj ? Obj->ToText() : "<nil>";
}

TTestPDFWriter OnePageWriter() {
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
  W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 300 400] >>");
  W.Add(3, 0, "<< /Type /Page /Parent 2 0 R >>");
  W.Section().Root = "1 0 R";
  return W;
}

// ---------------------------------------------------------------- header and load

TEST(TPDFDocumentLoad, HeaderForms) {
  struct Case {
    const char* What;
    std::string Junk, Header;
    bool Loads;
    std::string Version;
  } Cases[] = {
      {"plain", "", "%PDF-1.4\n", true, "1.4"},
      {"junk before the header", std::string(1016, 'j'), "%PDF-1.7\n", true, "1.7"},
      {"header beyond 1024 bytes", std::string(1020, 'j'), "%PDF-1.7\n", false, ""},
      {"PostScript form", "", "%!PS-Adobe-3.0 PDF-1.3\n", true, "1.3"},
      {"PostScript form without PDF-", "", "%!PS-Adobe-3.0 EPSF\n", false, ""},
      {"no digits", "", "%PDF-x\n", true, ""},
      {"two points", "", "%PDF-1.2.3\n", false, ""},
      {"no header", "", "%FDP-1.4\n", false, ""},
  };
  for (const auto& C : Cases) {
    TTestPDFWriter W = OnePageWriter();
    W.SetLeadingJunk(C.Junk);
    W.SetHeader(C.Header);
    TPDFDocument Doc;
    EXPECT_EQ(Doc.LoadFromData(W.Finish()), C.Loads) << C.What;
    EXPECT_EQ(Doc.Version(), C.Version) << C.What;
    EXPECT_EQ(Doc.PageTree()->PageCount(), C.Loads ? 1 : 0) << C.What;
  }
}

TEST(TPDFDocumentLoad, BrokenChainsAreRefusedWithoutRepair) {
  TTestPDFWriter W = OnePageWriter();
  W.Section().StartXRefShift = 200;
  TPDFDocument Doc;
  Doc.Repair = false;
  EXPECT_FALSE(Doc.LoadFromData(W.Finish()));
  EXPECT_EQ(Doc.ObjectCount(), 0u);
  EXPECT_EQ(Doc.Trailer()->Count(), 0);
  EXPECT_FALSE(Doc.LoadFromData("%PDF-1.4\n"));
}

// A stream that claims a size but delivers fewer bytes, or a size too big to hold.
class TFakeBuf : public std::streambuf {
 public:
  TFakeBuf(std::streamoff Claimed, std::string Bytes) : FClaimed(Claimed), FBytes(std::move(Bytes)) {
    setg(FBytes.data(), FBytes.data(), FBytes.data() + FBytes.size());
  }

 protected:
  pos_type seekoff(off_type Off, std::ios_base::seekdir Dir, std::ios_base::openmode) override {
    if (Dir == std::ios_base::end) return FClaimed + Off;
    if (Dir == std::ios_base::cur && Off == 0) return gptr() - eback();
    return seekpos(Off, std::ios_base::in);
  }
  pos_type seekpos(pos_type Pos, std::ios_base::openmode) override {
    if (Pos > static_cast<pos_type>(FBytes.size())) return pos_type(off_type(-1));
    setg(FBytes.data(), FBytes.data() + static_cast<off_type>(Pos), FBytes.data() + FBytes.size());
    return Pos;
  }

 private:
  std::streamoff FClaimed;
  std::string FBytes;
};

TEST(TPDFDocumentLoad, ShortReadsAndHugeFilesFail) {
  const std::string File = OnePageWriter().Finish();
  {
    TFakeBuf Buf(static_cast<std::streamoff>(File.size()) + 100, File);
    std::istream In(&Buf);
    TPDFDocument Doc;
    EXPECT_FALSE(Doc.LoadFromStream(In));
  }
  {
    TFakeBuf Buf(std::streamoff{1} << 31, File);
    std::istream In(&Buf);
    TPDFDocument Doc;
    EXPECT_FALSE(Doc.LoadFromStream(In));
  }
  std::istringstream In(File);
  TPDFDocument Doc;
  EXPECT_TRUE(Doc.LoadFromStream(In));
}

// ---------------------------------------------------------------- updates and hybrid files

TEST(TPDFDocumentLoad, NewestUpdateWins) {
  TTestPDFWriter W = OnePageWriter();
  W.Add(10, 0, "(original 10)");
  W.Add(11, 0, "(original 11)");
  W.Add(12, 0, "(original 12)");
  W.Section().Info = "12 0 R";
  W.StartUpdate();
  W.Section().Form = TXRefForm::Stream;
  W.Add(10, 0, "(first update 10)");
  W.Add(11, 0, "(first update 11)");
  W.StartUpdate();
  W.Section().Info = "";  // the newest trailer has no Info
  W.Add(11, 0, "(second update 11)");
  W.Free(12);
  TPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromData(W.Finish()));
  EXPECT_EQ(TextOf(Doc, 10), "(first update 10)");
  EXPECT_EQ(TextOf(Doc, 11), "(second update 11)");
  EXPECT_EQ(TextOf(Doc, 12), "(original 12)");  // freed later, still read from the older section
  EXPECT_EQ(Doc.Trailer()->GetValue("Info", false), nullptr);
  TPDFDictionary* Info = Doc.GetInfo();  // created, not taken from an older trailer
  EXPECT_EQ(Info->Count(), 0);
  EXPECT_EQ(Doc.SectionOffsets().size(), 3u);
  for (const char* Key : {"Prev", "Type", "W", "Index", "Length", "Filter"})
    EXPECT_EQ(Doc.Trailer()->IndexOfKey(Key), -1) << Key;
}

TEST(TPDFDocumentLoad, HybridTableEntryWinsOverItsStream) {
  // Object 5 stands in the body and in an object stream; the table names the
  // body copy, the XRefStm stream the compressed one.
  const std::string Objects = "%PDF-1.5\n";
  std::string File = Objects;
  const size_t Catalog = File.size();
  File += "1 0 obj\n<< /Type /Catalog >>\nendobj\n";
  const size_t Five = File.size();
  File += "5 0 obj\n(from the table)\nendobj\n";
  const size_t ObjStm = File.size();
  const std::string Members = "5 0 (from the stream)";
  File += "7 0 obj\n<< /Type /ObjStm /N 1 /First 4 /Length " + std::to_string(Members.size()) + " >>\nstream\n" +
          Members + "\nendstream\nendobj\n";
  const size_t Stream = File.size();
  std::string Rows;
  Rows += std::string("\x02\x00\x07\x00", 4);  // object 5: stream 7, index 0
  File += "8 0 obj\n<< /Type /XRef /Size 9 /Index [5 1] /W [1 2 1] /Length 4 >>\nstream\n" + Rows +
          "\nendstream\nendobj\n";
  const size_t Table = File.size();
  auto Entry = [](size_t Offset) {
    char Buf[32];
    std::snprintf(Buf, sizeof Buf, "%010zu 00000 n\r\n", Offset);
    return std::string(Buf);
  };
  File += "xref\n0 2\n0000000000 65535 f\r\n" + Entry(Catalog) + "5 1\n" + Entry(Five) + "7 1\n" + Entry(ObjStm) +
          "trailer\n<< /Size 9 /Root 1 0 R /XRefStm " + std::to_string(Stream) + " >>\nstartxref\n" +
          std::to_string(Table) + "\n%%EOF\n";
  TPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromData(File));
  EXPECT_EQ(TextOf(Doc, 5), "(from the table)");
  EXPECT_FALSE(Doc.FindIndObj(5, 0)->Compressed);
}

TEST(TPDFDocumentLoad, ObjectStreamsThroughHybridAndStreamForms) {
  for (TXRefForm Form : {TXRefForm::Stream, TXRefForm::Hybrid}) {
    TSimpleDocOptions O;
    O.Pages = {{"BT (one) Tj ET"}, {"BT (two) Tj ET"}, {"BT (three) Tj ET"}};
    O.ObjectStreams = true;
    O.ObjectsPerStream = 2;
    O.Form = Form;
    TSimpleDocObjects N;
    TTestPDFWriter W = MakeSimpleDocument(O, &N);
    TPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromData(W.Finish()));
    TPDFPageTree* Tree = Doc.PageTree();
    ASSERT_EQ(Tree->PageCount(), 3);
    for (int P = 1; P <= 3; ++P) {
      Tree->SelectPage(P);
      ASSERT_NE(Tree->PageDict(), nullptr) << P;
      EXPECT_TRUE(Doc.FindIndObj(N.PageObjects[P - 1], 0)->Compressed);
    }
    Tree->SelectPage(2);
    EXPECT_EQ(Tree->GetPageContentBytes(), "BT (two) Tj ET");
  }
}

// ---------------------------------------------------------------- object texts

TEST(TPDFIndObj, OffsetsAndHeaders) {
  TTestPDFWriter W = OnePageWriter();
  W.Add(11, 0, "(eleven)");
  W.Add(12, 0, "(twelve)");
  W.Add(13, 0, "(thirteen is a longer object)");
  W.Add(14, 0, "(fourteen)");
  W.Add(15, 0, "(fifteen)");
  W.Add(16, 0, "(sixteen)");
  W.Finish();
  // 12 a few bytes early (into the end of 11), 13 into the text of 11, 15
  // onto 16's offset (the smaller number then has no text).
  W.Section().EntryShift[12] = -4;
  W.Section().EntryShift[13] = static_cast<long long>(W.ObjectOffset(11) + 3) - static_cast<long long>(W.ObjectOffset(13));
  W.Section().EntryShift[15] = static_cast<long long>(W.ObjectOffset(16) - W.ObjectOffset(15));
  // Read as the cross-reference table says (repair would rebuild the table).
  TPDFDocument Doc;
  Doc.Repair = false;
  ASSERT_TRUE(Doc.LoadFromData(Patch(W.Finish(), "11 0 obj", "11 0 OBJ")));
  EXPECT_EQ(TextOf(Doc, 11), "null");  // the keyword must be exactly "obj"
  EXPECT_EQ(TextOf(Doc, 12), "(twelve)");
  EXPECT_EQ(TextOf(Doc, 13), "null");
  EXPECT_EQ(TextOf(Doc, 14), "(fourteen)");
  EXPECT_EQ(TextOf(Doc, 15), "null");
  EXPECT_EQ(TextOf(Doc, 16), "(sixteen)");
  EXPECT_EQ(TextOf(Doc, 99), "<nil>");
  EXPECT_EQ(Doc.LookupObject(16, 1), nullptr);  // the generation must match too
  TPDFObject* Sixteen = Doc.LookupObject(16, 0);
  EXPECT_TRUE(Sixteen->Indirect);
  EXPECT_EQ(Sixteen->IndirectNumber, 16);
  EXPECT_EQ(Doc.GetObjectText(Doc.FindIndObj(16, 0)).substr(0, 9), "16 0 obj\n");
}

// Stream data as the Length says, without repair.
TEST(TPDFIndObj, StreamData) {
  struct Case {
    const char* What;
    std::string Data;
    TStreamOptions Options;
    std::string From, To;  // a patch of the written file
    std::string Expected;  // the data, or "<dict>" when the object stays a dictionary
  } Cases[] = {
      {"plain", "0123456789", {}, "", "", "0123456789"},
      {"indirect Length", "0123456789", {0, -1, 40}, "", "", "0123456789"},
      {"Length beyond the object", "0123456789", {0, 5000, 0}, "", "", "0123456789\nendstream\nendobj\n"},
      {"Length shorter", "0123456789", {0, 4, 0}, "", "", "0123"},
      {"CR alone after stream", "0123456789", {}, "stream\n0", "stream\r0", "0123456789"},
      {"CR LF after stream", "\n123456789", {0, 9, 0}, "stream\n\n", "stream\r\n", "123456789"},
      {"spaces before the line end", "0123456789", {0, 8, 0}, "stream\n01", "stream  \n", "23456789"},
      {"no line end after stream", "0123456789", {}, "stream\n0", "stream 0", "<dict>"},
      {"Length not a number", "0123456789", {}, "/Length 10", "/Length /x", "<dict>"},
      {"no endstream anywhere", "0123456789", {}, "endstream", "endstreaX", "<dict>"},
  };
  for (const auto& C : Cases) {
    TTestPDFWriter W = OnePageWriter();
    W.AddStream(30, "<< /Kind /Test >>", C.Data, false, C.Options);
    W.Add(31, 0, "(next)");
    std::string File = W.Finish();
    if (!C.From.empty()) File = Patch(File, C.From, C.To);
    TPDFDocument Doc;
    Doc.Repair = false;
    ASSERT_TRUE(Doc.LoadFromData(File)) << C.What;
    TPDFObject* Obj = Doc.LookupObject(30, 0);
    if (C.Expected == "<dict>") {
      EXPECT_TRUE(As<TPDFDictionary>(Obj)) << C.What;
      continue;
    }
    auto* Stream = As<TPDFStream>(Obj);
    ASSERT_NE(Stream, nullptr) << C.What;
    EXPECT_EQ(Stream->RawData(), C.Expected) << C.What;
    EXPECT_EQ(Stream->Dictionary()->GetInteger("Length", -1), static_cast<int>(Stream->RawData().size())) << C.What;
    EXPECT_EQ(Stream->Dictionary()->GetText("Kind"), "Test") << C.What;
  }
}

TEST(TPDFIndObj, SelfReferencesAndLongChainsEnd) {
  // A Length that refers to the stream itself, and a long chain of streams
  // whose Length refers to the next stream.
  std::vector<std::pair<int, std::string>> Objects;
  Objects.push_back({1, "1 0 obj\n<< /Type /Catalog >>\nendobj\n"});
  Objects.push_back({2, "2 0 obj\n<< /Length 2 0 R >>\nstream\nabc\nendstream\nendobj\n"});
  for (int I = 10; I < 2010; ++I)
    Objects.push_back({I, std::to_string(I) + " 0 obj\n<< /Length " + std::to_string(I + 1) +
                              " 0 R >>\nstream\nabc\nendstream\nendobj\n"});
  for (bool Repair : {false, true}) {
    TPDFDocument Doc;
    Doc.Repair = Repair;
    ASSERT_TRUE(Doc.LoadFromData(AssembleWithXRefStream(Objects, {}, "/Root 1 0 R")));
    if (Repair)  // the data end at "endstream"
      EXPECT_EQ(As<TPDFStream>(Doc.LookupObject(2, 0))->RawData(), "abc");
    else
      EXPECT_TRUE(As<TPDFDictionary>(Doc.LookupObject(2, 0)));
    EXPECT_NE(Doc.LookupObject(10, 0), nullptr);
    EXPECT_NE(Doc.LookupObject(1500, 0), nullptr);
  }
}

// ---------------------------------------------------------------- object streams

TEST(TPDFIndObj, ObjectStreamMembers) {
  const std::string Members = "21 0 22 8 23 12 (first) [2] <</Last true>>";
  const std::string ObjStm = "20 0 obj\n<< /Type /ObjStm /N 3 /First 16 /Length " + std::to_string(Members.size()) +
                             " >>\nstream\n" + Members + "\nendstream\nendobj\n";
  const std::string NotObjStm = "30 0 obj\n<< /Type /XObject /N 1 /First 4 /Length 9 >>\nstream\n31 0 (x)\nendstream\nendobj\n";
  const std::string BadN = "40 0 obj\n<< /Type /ObjStm /N 0 /First 4 /Length 9 >>\nstream\n41 0 (x)\nendstream\nendobj\n";
  TPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromData(AssembleWithXRefStream(
      {{1, "1 0 obj\n<< /Type /Catalog >>\nendobj\n"}, {20, ObjStm}, {30, NotObjStm}, {40, BadN}},
      {{21, 20, 0}, {22, 20, 1}, {23, 20, 2}, {24, 20, 0}, {25, 20, 7}, {26, 99, 0}, {31, 30, 0}, {41, 40, 0}},
      "/Root 1 0 R")));
  EXPECT_EQ(TextOf(Doc, 21), "(first)");
  EXPECT_EQ(TextOf(Doc, 22), "[ 2 ]");
  EXPECT_EQ(TextOf(Doc, 23), "<<\n/Last true\n>>\n");  // the last member runs to the end of the data
  EXPECT_EQ(TextOf(Doc, 24), "null");                  // its index holds another object's pair
  EXPECT_EQ(TextOf(Doc, 25), "null");                  // index beyond N
  EXPECT_EQ(TextOf(Doc, 26), "null");                  // no such object stream
  EXPECT_EQ(TextOf(Doc, 31), "null");                  // not of type ObjStm
  EXPECT_EQ(TextOf(Doc, 41), "null");                  // N must be above 0
  EXPECT_TRUE(Doc.FindIndObj(21, 0)->Decrypted);       // members are never decrypted alone
  EXPECT_EQ(Doc.GetObjectText(Doc.FindIndObj(21, 0)), "21 0 obj\r(first) ");
  EXPECT_EQ(Doc.GetObjectText(Doc.FindIndObj(26, 0)), "26 0 obj\rnull\rendobj");
}

// ---------------------------------------------------------------- catalog, info, new objects

TEST(TPDFDocument, CatalogInfoAndNewObjects) {
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog >>");
  W.Add(7, 0, "(seven)");
  W.Section().Root = "7 0 R";  // not a dictionary
  W.Section().Size = 8;
  // Without repair: a Root that is no dictionary gets a new catalog.
  TPDFDocument Doc;
  Doc.Repair = false;
  ASSERT_TRUE(Doc.LoadFromData(W.Finish()));
  EXPECT_EQ(Doc.PageTree()->PageCount(), 0);
  TPDFDictionary* Catalog = Doc.GetCatalog();  // a new one, registered as object 8
  auto* Root = As<TPDFIndRef>(Doc.Trailer()->GetValue("Root", false));
  ASSERT_NE(Root, nullptr);
  EXPECT_EQ(Root->Number, 8);
  EXPECT_EQ(Doc.LookupObject(8, 0), Catalog);
  EXPECT_EQ(Doc.GetCatalog(), Catalog);
  EXPECT_EQ(Doc.GetPagesRoot(), nullptr);
  TPDFIndObj* Rec = Doc.NewIndObj(Doc.Structure()->NewNull());
  EXPECT_EQ(Rec->ObjectNumber, 9);
  EXPECT_EQ(Doc.Trailer()->GetInteger("Size", 0), 10);
  EXPECT_TRUE(Rec->Loaded);
}

TEST(TPDFDocument, LinearizedFlag) {
  TTestPDFWriter W = OnePageWriter();
  TTestPDFWriter Lin;
  Lin.Add(5, 0, "<< /Linearized 1 /L 1000 /N 1 >>");
  Lin.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
  Lin.Add(2, 0, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  Lin.Add(3, 0, "<< /Type /Page /Parent 2 0 R >>");
  Lin.Section().Root = "1 0 R";
  TPDFDocument A, B;
  ASSERT_TRUE(A.LoadFromData(Lin.Finish()));
  EXPECT_TRUE(A.Linearized());
  EXPECT_EQ(As<TPDFDictionary>(A.LookupObject(5, 0))->Count(), 0);  // emptied
  ASSERT_TRUE(B.LoadFromData(W.Finish()));
  EXPECT_FALSE(B.Linearized());
}

// ---------------------------------------------------------------- repair of damaged files

std::string PageContent(int P) { return "BT /F1 12 Tf 72 720 Td (Page " + std::to_string(P) + ") Tj ET"; }

TTestPDFWriter ThreePages(TXRefForm Form, bool ObjectStreams) {
  TSimpleDocOptions O;
  for (int P = 1; P <= 3; ++P) O.Pages.push_back({PageContent(P)});
  O.Form = Form;
  O.ObjectStreams = ObjectStreams;
  O.ObjectsPerStream = 2;
  return MakeSimpleDocument(O);
}

// The decoded contents of every page; "<none>" for a page that is not found.
std::vector<std::string> Contents(TPDFDocument& Doc) {
  std::vector<std::string> Out;
  TPDFPageTree* Tree = Doc.PageTree();
  for (int P = 1; P <= Tree->PageCount(); ++P) {
    Tree->SelectPage(P);
    Out.push_back(Tree->PageDict() && Tree->PageIndex() == P ? Tree->GetPageContentBytes() : "<none>");
  }
  return Out;
}

TEST(TPDFDocumentRepair, DamagedFilesGiveTheUndamagedText) {
  const std::vector<std::string> Three = {PageContent(1), PageContent(2), PageContent(3)};
  struct Case {
    const char* What;
    TXRefForm Form;
    bool ObjectStreams;
    std::function<std::string(TTestPDFWriter&)> Damage;
    std::vector<std::string> Expected;
    bool LoadsWithoutRepair;
  } Cases[] = {
      {"junk after the header shifts every offset", TXRefForm::Table, false,
       [](TTestPDFWriter& W) {
         W.SetJunkAfterHeader(std::string(500, 'j'));
         return W.Finish();
       },
       Three, false},
      {"junk after the header, cross-reference and object streams", TXRefForm::Stream, true,
       [](TTestPDFWriter& W) {
         W.SetJunkAfterHeader("% " + std::string(498, '\x80'));
         return W.Finish();
       },
       Three, false},
      {"startxref past the end", TXRefForm::Stream, true,
       [](TTestPDFWriter& W) {
         W.Section().StartXRefShift = 1 << 20;
         return W.Finish();
       },
       Three, false},
      {"cut before its cross-reference section", TXRefForm::Table, false,
       [](TTestPDFWriter& W) {
         W.Finish();
         return W.Finish().substr(0, W.XRefOffset(0));
       },
       Three, false},
      {"no trailer: the Catalog object is the root", TXRefForm::Table, false,
       [](TTestPDFWriter& W) {
         W.Section().OmitTrailer = true;
         return W.Finish();
       },
       Three, false},
      {"the page tree only in object streams the table does not list", TXRefForm::Table, true,
       [](TTestPDFWriter& W) { return W.Finish(); }, Three, true},
      {"one offset points into another object", TXRefForm::Table, false,
       [](TTestPDFWriter& W) {
         W.Finish();
         W.Section().EntryShift[5] = 9;  // page 2's object
         return W.Finish();
       },
       Three, true},
      {"an update whose offsets are shifted: the last definition wins", TXRefForm::Table, false,
       [](TTestPDFWriter& W) {
         W.StartUpdate();
         W.AddStream(7, "<< >>", "BT (Updated 2) Tj ET", true);  // page 2's content
         W.SetJunkAfterHeader(std::string(40, '\n'));
         return W.Finish();
       },
       {PageContent(1), "BT (Updated 2) Tj ET", PageContent(3)}, true},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    TTestPDFWriter W = ThreePages(C.Form, C.ObjectStreams);
    const std::string File = C.Damage(W);
    TPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromData(File));
    EXPECT_TRUE(Doc.Rebuilt());
    EXPECT_EQ(Contents(Doc), C.Expected);
    EXPECT_NE(Doc.GetCatalog()->GetValue("Pages", true), nullptr);

    TPDFDocument Refusing;
    Refusing.Repair = false;
    EXPECT_EQ(Refusing.LoadFromData(File), C.LoadsWithoutRepair);
    EXPECT_FALSE(Refusing.Rebuilt());
    EXPECT_NE(Contents(Refusing), C.Expected);
  }
}

TEST(TPDFDocumentRepair, IntactFilesAreNotRebuilt) {
  for (TXRefForm Form : {TXRefForm::Table, TXRefForm::Stream, TXRefForm::Hybrid}) {
    TTestPDFWriter W = ThreePages(Form, Form != TXRefForm::Table);
    W.StartUpdate();
    W.Add(40, 0, "(update)");
    TPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromData(W.Finish()));
    EXPECT_FALSE(Doc.Rebuilt());
    EXPECT_EQ(Doc.PageTree()->PageCount(), 3);
  }
  // A document without pages is no damage.
  TTestPDFWriter Empty;
  Empty.Add(1, 0, "<< /Type /Catalog >>");
  Empty.Section().Root = "1 0 R";
  TPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromData(Empty.Finish()));
  EXPECT_FALSE(Doc.Rebuilt());
}

TEST(TPDFDocumentRepair, WhatTheScanChooses) {
  // Object 5 lives in object stream 20 and directly before it, object 6 in
  // the stream and directly in a later update; a broken
  // startxref makes the scan decide. The newest trailer's Root does not
  // resolve, the older one's does, and only the older one has Info; the page
  // tree names no page, so the page objects are taken in file order.
  TTestPDFWriter W;
  W.Add(5, 0, "(before the object stream)");
  W.AddToObjStm(20, 5, "(in the object stream)");
  W.AddToObjStm(20, 6, "(in the object stream too)");
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R /Marker 1 >>");
  W.Add(2, 0, "<< /Type /Pages /Kids [] /Count 2 >>");
  W.Add(11, 0, "<< /Type /Page /Contents 13 0 R >>");
  W.Add(10, 0, "<< /Type /Page /Contents 14 0 R >>");
  W.Add(12, 0, "<< /Type /Pages >>");
  W.AddStream(13, "", "(first)", false);
  W.AddStream(14, "", "(second)", false);
  W.Section().Root = "1 0 R";
  W.Section().Info = "5 0 R";
  W.StartUpdate();
  W.Add(6, 0, "(after the object stream)");
  W.Section().Root = "99 0 R";
  W.Section().Info = "";
  W.Section().StartXRefShift = -3;
  TPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromData(W.Finish()));
  ASSERT_TRUE(Doc.Rebuilt());
  EXPECT_EQ(TextOf(Doc, 5), "(in the object stream)");
  EXPECT_TRUE(Doc.FindIndObj(5, 0)->Compressed);
  EXPECT_EQ(TextOf(Doc, 6), "(after the object stream)");  // a later direct definition wins
  EXPECT_FALSE(Doc.FindIndObj(6, 0)->Compressed);
  EXPECT_EQ(Doc.GetCatalog()->GetInteger("Marker", 0), 1);
  EXPECT_EQ(Doc.Trailer()->GetValue("Info", false)->ToText(), "5 0 R");
  EXPECT_EQ(Contents(Doc), (std::vector<std::string>{"(first)", "(second)"}));
}

TEST(TPDFDocumentRepair, RefusedWhenTheScanFindsNothing) {
  struct Case {
    const char* What;
    std::string File;
  } Cases[] = {
      {"no object at all", "%PDF-1.4\njust text, no objects\n%%EOF\n"},
      {"objects but neither catalog nor page", "%PDF-1.4\n1 0 obj\n(a)\nendobj\n2 0 obj\n[1 2]\nendobj\n"},
      {"no header", "1 0 obj\n<< /Type /Catalog >>\nendobj\n"},
  };
  for (const auto& C : Cases) {
    TPDFDocument Doc;
    EXPECT_FALSE(Doc.LoadFromData(C.File)) << C.What;
    EXPECT_EQ(Doc.ObjectCount(), 0u) << C.What;
  }
  // A catalog alone is a document without pages.
  TPDFDocument Doc;
  EXPECT_TRUE(Doc.LoadFromData("%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n"));
  EXPECT_EQ(Doc.PageTree()->PageCount(), 0);
  // A file whose chain reads stays loaded when its rebuild finds nothing
  // more (as it loads without repair).
  TTestPDFWriter W;
  W.Add(2, 0, "(no catalog here)");
  W.Section().Root = "5 0 R";
  TPDFDocument Readable;
  EXPECT_TRUE(Readable.LoadFromData(W.Finish()));
  EXPECT_TRUE(Readable.Rebuilt());
  EXPECT_EQ(Readable.PageTree()->PageCount(), 0);
}

// Stream data when Length is wrong: up to the "endstream" that follows.
TEST(TPDFIndObj, StreamDataWithRepair) {
  struct Case {
    const char* What;
    std::string Data;
    TStreamOptions Options;
    std::string From, To;  // a patch of the written file
    std::string Expected;  // the data, or "<dict>" when the object stays a dictionary
  } Cases[] = {
      {"right Length", "0123456789", {}, "", "", "0123456789"},
      {"right Length, data ending in a line end", "01234567\r\n", {}, "", "", "01234567\r\n"},
      {"Length beyond the data", "0123456789", {0, 5000, 0}, "", "", "0123456789"},
      {"Length shorter", "0123456789", {0, 4, 0}, "", "", "0123456789"},
      {"Length shorter, CR LF before endstream", "0123456789\r", {0, 3, 0}, "", "", "0123456789"},
      {"Length shorter, CR before endstream", "0123456789", {0, 3, 0}, "9\nendstream", "9\rendstream", "0123456789"},
      {"negative Length", "0123456789", {0, 3, 0}, "/Length 3", "/Length -", "0123456789"},
      {"no Length", "0123456789", {}, "/Length 10", "/Lxngth 10", "0123456789"},
      {"Length not a number", "0123456789", {}, "/Length 10", "/Length /x", "0123456789"},
      {"indirect Length to a missing object", "0123456789", {0, -1, 40}, "/Length 40 0 R", "/Length 49 0 R",
       "0123456789"},
      {"data that hold \"endstream\" with a right Length", "ab\nendstream\ncd", {}, "", "", "ab\nendstream\ncd"},
      {"a dictionary followed by another object's stream", "0123", {}, "/Length 4 >>\nstream", "/Lxngth 4 >>\n(x)   ", "<dict>"},
      {"no endstream: Length stands", "0123456789", {0, 6, 0}, "endstream", "endstreaX", "012345"},
      {"no endstream and no Length: the rest of the text", "0123", {}, "/Length 4 >>\nstream\n0123\nendstream",
       "/Lxngth 4 >>\nstream\n0123\nendstreaX", "0123\nendstreaX\nendobj\n"},
      {"no line end after stream", "0123456789", {}, "stream\n0", "stream 0", "<dict>"},
  };
  for (const auto& C : Cases) {
    TTestPDFWriter W = OnePageWriter();
    W.AddStream(30, "<< /Kind /Test >>", C.Data, false, C.Options);
    W.Add(31, 0, "(next)");
    std::string File = W.Finish();
    if (!C.From.empty()) File = Patch(File, C.From, C.To);
    TPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromData(File)) << C.What;
    TPDFObject* Obj = Doc.LookupObject(30, 0);
    if (C.Expected == "<dict>") {
      EXPECT_TRUE(As<TPDFDictionary>(Obj)) << C.What;
      continue;
    }
    auto* Stream = As<TPDFStream>(Obj);
    ASSERT_NE(Stream, nullptr) << C.What;
    EXPECT_EQ(Stream->RawData(), C.Expected) << C.What;
    EXPECT_EQ(Stream->Dictionary()->GetInteger("Length", -1), static_cast<int>(Stream->RawData().size())) << C.What;
    EXPECT_EQ(Stream->Dictionary()->GetText("Kind"), "Test") << C.What;
  }
}

TEST(TPDFIndObj, DamagedFlateTailGivesTheBytesBefore) {
  std::string Text;
  for (int I = 0; I < 200; ++I) Text += "BT /F1 12 Tf 72 " + std::to_string(700 - I) + " Td (Line " + std::to_string(I) + ") Tj ET\n";
  TTestPDFWriter W = OnePageWriter();
  W.AddStream(30, "", Text, true, {0, 100000, 0});
  W.Finish();
  std::string File = W.Finish();
  // The last 40 bytes of the compressed data become garbage.
  const size_t End = File.find("\nendstream", W.ObjectOffset(30));
  for (size_t I = End - 40; I < End; ++I) File[I] = static_cast<char>(0xA5);
  TPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromData(File));
  auto* Stream = As<TPDFStream>(Doc.LookupObject(30, 0));
  ASSERT_NE(Stream, nullptr);
  // What the damaged bytes decode to (if anything) follows the intact part.
  const std::string Decoded = Stream->GetDecodedData();
  size_t Same = 0;
  while (Same < Decoded.size() && Same < Text.size() && Decoded[Same] == Text[Same]) ++Same;
  EXPECT_GT(Same, Text.size() / 2);
  EXPECT_LT(Same, Text.size());
}

}  // namespace
