// Test-only writer that builds PDF files in memory for the unit tests.
#pragma once

// Usage: a one-page file with a classic table, then an update that replaces
// the page content.
//
//   TTestPDFWriter W;
//   W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
//   W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >>");
//   W.Add(3, 0, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>");
//   W.AddStream(4, "<< >>", "BT /F1 12 Tf 72 720 Td (Old) Tj ET", true);
//   W.Section().Root = "1 0 R";
//   W.StartUpdate();                          // section 1; /Root is carried over
//   W.AddStream(4, "<< >>", "BT /F1 12 Tf 72 720 Td (New) Tj ET", true);
//   W.Section().Form = TXRefForm::Stream;
//   std::string Pdf = W.Finish();
//   size_t Page = W.ObjectOffset(3);          // where "3 0 obj" starts
//   size_t Update = W.XRefOffset(1);          // where the update's xref stream starts
//
// Contract:
// - The file is a header followed by sections: section 0 is the first body,
//   each StartUpdate() opens the next one (an incremental update). Add*,
//   AddRaw and Free always go to the current (last) section.
// - A section is written as its body items in call order, then its
//   cross-reference data: for TXRefForm::Stream the xref stream object; for
//   TXRefForm::Table the "xref" table and "trailer"; for TXRefForm::Hybrid a
//   stream object listing the compressed objects, then the table whose trailer
//   names it by /XRefStm. Then "startxref", the offset and "%%EOF", then
//   Section().Tail.
// - An object stream is created by the first AddToObjStm naming it, at that
//   point of the body, and holds every object added to it in that section
//   (in call order). It is always Flate-compressed. Classic tables do not
//   list compressed objects: a Table section with object streams hides them
//   (on purpose, for tests of broken files).
// - Cross-reference data lists exactly the objects of its own section, the
//   free object 0 (section 0 only), the freed numbers and the xref stream
//   object. In a Hybrid section the table lists all but the compressed
//   objects and the /XRefStm stream lists only the compressed ones (itself
//   when there are none). Later sections get /Prev with the previous
//   section's true xref offset. Free entries of a section are linked in
//   ascending order; object 0 heads the list.
// - Nothing is checked: duplicate numbers, dangling references, a /Filter in
//   a dictionary that is also compressed and similar faults are written as
//   given. When a number is written twice in one section the xref names the
//   later copy.
// - Finish() may be called at any time and any number of times; it lays the
//   whole file out afresh (so calling it between updates gives snapshots).
//   The offset queries describe the layout of the last Finish() and throw
//   std::out_of_range for what that layout does not contain.
// - Offsets returned by the queries are positions in the returned string.
//   Offsets written into the file are the same unless SetLeadingJunk was
//   told to count from the header, or SetJunkAfterHeader inserted bytes.

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

enum class TXRefForm {
  Table,   // "xref" table and "trailer"
  Stream,  // /Type /XRef stream
  Hybrid,  // table whose trailer has /XRefStm naming a stream with the compressed objects
};

// How each 20- or 19-byte table entry ends.
enum class TEntryEnd {
  CRLF,     // "\r\n", 20 bytes
  SpaceLF,  // " \n", 20 bytes
  LF,       // "\n", 19 bytes
};

// Settings of one section: cross-reference form, trailer and deliberate faults.
struct TSection {
  // Cross-reference form.
  TXRefForm Form = TXRefForm::Table;
  TEntryEnd EntryEnd = TEntryEnd::CRLF;  // table entries
  std::array<int, 3> Widths{1, 0, 0};    // xref stream /W; 0 = smallest that fits (at least 1)
  bool Predictor = false;                // xref stream rows PNG-Up-encoded, /Predictor 12
  int XRefStreamNumber = 0;              // 0 = one above the highest number used so far

  // Trailer (or xref stream dictionary). Values are raw PDF text; empty means
  // absent. StartUpdate() copies Root, Info, ID and Encrypt from the previous
  // section.
  std::string Root;     // e.g. "1 0 R"
  std::string Info;     // e.g. "9 0 R"
  std::string ID;       // e.g. "[<0011> <0011>]"
  std::string Encrypt;  // e.g. "8 0 R"
  std::string Extra;    // written inside the dictionary as is, e.g. "/Foo 1"
  long long Size = -1;  // -1 = highest object number so far + 1

  // Deliberate faults.
  long long StartXRefShift = 0;         // added to the number after "startxref"
  bool OmitEOF = false;                 // no "%%EOF" line
  std::map<int, long long> EntryShift;  // object number -> added to its xref offset (floor 0)
  std::string Tail;                     // bytes written after the "%%EOF" line
  bool OmitTrailer = false;             // Table form: no "trailer" and dictionary after the table
};

// Extras for AddStream.
struct TStreamOptions {
  int Generation = 0;
  long long Length = -1;  // -1 = the real length; otherwise this value is written
  int LengthObject = 0;   // > 0: "/Length N 0 R" and object N (holding the length) right after the stream
};

class TTestPDFWriter {
 public:
  // Replaces the default header "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n" (written as is).
  void SetHeader(std::string Header);
  // Bytes before the header. With OffsetsFromHeader, offsets written into the
  // file count from the header instead of the start of the file.
  void SetLeadingJunk(std::string Junk, bool OffsetsFromHeader = false);
  // Bytes right after the header that the offsets written into the file do
  // not count: every offset (startxref included) then points Junk.size()
  // bytes early, as in a file where an editor inserted them afterwards.
  void SetJunkAfterHeader(std::string Junk);

  // Plain object: "N G obj\n" Body "\nendobj\n".
  void Add(int Number, int Generation, std::string_view Body);
  // Stream object. Dict is a dictionary ("<< ... >>", or its inner text, or
  // empty) without /Length; the writer adds /Length and, with Compress,
  // /Filter /FlateDecode (zlib).
  void AddStream(int Number, std::string_view Dict, std::string_view Data, bool Compress,
                 const TStreamOptions& Options = {});
  // Object Number (generation 0) inside the object stream StreamNumber of
  // this section.
  void AddToObjStm(int StreamNumber, int Number, std::string_view Body);
  // Bytes written into the body as they are (between objects).
  void AddRaw(std::string_view Bytes);
  // Free entry for Number in this section's cross-reference data.
  void Free(int Number, int NextGeneration = 1);

  // Opens the next section (an incremental update) and returns its index.
  int StartUpdate();
  // Settings of the current section, or of section Index.
  TSection& Section();
  TSection& Section(int Index);
  int SectionCount() const;

  // Lays out and returns the whole file.
  std::string Finish();

  // Position of "N G obj" of the latest copy of Number written as a plain,
  // stream, object-stream or xref-stream object.
  size_t ObjectOffset(int Number) const;
  // Positions of the objects written in section Index, by number.
  const std::map<int, size_t>& ObjectOffsets(int Index) const;
  // Position of section Index's cross-reference data: the "xref" keyword, or
  // the xref stream object for TXRefForm::Stream.
  size_t XRefOffset(int Index) const;
  // Position of section Index's xref stream object (Stream and Hybrid forms).
  size_t XRefStreamOffset(int Index) const;
  // Position just after section Index (after its Tail).
  size_t SectionEnd(int Index) const;

 private:
  struct TItem {
    enum class TKind { Object, Raw, ObjStm } Kind;
    int Number = 0;
    int Generation = 0;
    std::string Text;  // complete object text, or raw bytes
  };
  struct TSectionData {
    TSection Options;
    std::vector<TItem> Items;
    std::map<int, std::vector<std::pair<int, std::string>>> ObjStms;  // stream -> members
    std::map<int, int> Freed;                                         // number -> next generation
    // Layout of the last Finish().
    std::map<int, size_t> Offsets;
    size_t XRef = std::string::npos;
    size_t XRefStream = std::string::npos;
    size_t End = std::string::npos;
  };

  const TSectionData& Laid(int Index) const;

  std::string Header_ = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::string Junk_;
  std::string JunkAfterHeader_;
  bool OffsetsFromHeader_ = false;
  std::vector<TSectionData> Sections_ = std::vector<TSectionData>(1);
};

// Page tree document made by MakeSimpleDocument.
struct TSimpleDocOptions {
  // Content streams of each page; one entry per page. A page with one stream
  // gets "/Contents N 0 R" unless ContentsArray is set.
  std::vector<std::vector<std::string>> Pages;
  int FanOut = 0;               // >= 2: intermediate Pages nodes with at most FanOut kids each
  bool MediaBoxOnRoot = false;  // MediaBox only on the root Pages node, else on each page
  bool ContentsArray = false;   // "/Contents [..]" even for a single stream
  bool CompressContents = true;
  bool ObjectStreams = false;  // page, Pages node and font dictionaries in object streams
  int ObjectsPerStream = 0;    // with ObjectStreams: 0 = one object stream for all
  TXRefForm Form = TXRefForm::Table;
};

// Object numbers used by MakeSimpleDocument.
struct TSimpleDocObjects {
  int Catalog = 1;
  int RootPages = 2;
  int Font = 3;                            // /F1, Type1 Helvetica
  std::vector<int> Nodes;                  // intermediate Pages nodes
  std::vector<int> PageObjects;            // per page
  std::vector<std::vector<int>> Contents;  // per page
  std::vector<int> ObjStms;                // object streams
  int Highest = 0;                         // highest number used
};

// Writer holding section 0 of a document with a page tree: catalog 1, root
// Pages node 2, font 3, then the intermediate nodes, then each page followed
// by its content streams, then the object streams. Root is set; Form is taken
// from Options; the header says 1.5 when Form is not Table or object streams
// are used. Further updates may be added before Finish().
TTestPDFWriter MakeSimpleDocument(const TSimpleDocOptions& Options, TSimpleDocObjects* Objects = nullptr);

// Writes Dir/Name, a document of Pages pages showing "Page 1", "Page 2", ...,
// and returns its path.
std::string WriteNumberedPages(const std::string& Dir, const std::string& Name, int Pages);
