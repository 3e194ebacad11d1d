// Cross-reference reader: the start offset, classic tables, cross-reference
// streams, hybrid files and the Prev chain.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// A read-only stream over bytes it borrows (the document's copy of the file,
// which must outlive it).
// One thread at a time.
class TXRStringStream {
 public:
  explicit TXRStringStream(std::string_view Text) : FData(Text) {}
  std::string_view Data() const { return FData; }
  int64_t Size() const { return static_cast<int64_t>(FData.size()); }
  int64_t Position = 0;
  // Copies min(Count, Size - Position) bytes; returns how many.
  int64_t Read(char* Buffer, int64_t Count);
  // Origin 0: from the start, 1: from Position, 2: back from the end. The
  // result is clamped to 0..Size.
  int64_t Seek(int64_t Offset, int Origin);

 private:
  std::string_view FData;
};

// Reads the chain of cross-reference sections of a file held in memory and
// reports every entry, trailer and section offset through its callbacks, newest
// section first. It never scans the whole file: each step reads a bounded window.
// One thread at a time.
class TPDFXRefReader {
 public:
  // (ObjectNumber, Value1, Kind, Value2). Kind 'n': in use at offset Value1 with
  // generation Value2; 'c': in object stream Value1 at index Value2; 'f': free;
  // ' ': an entry of unknown type in a cross-reference stream.
  using TEntryEvent = std::function<void(int32_t, int32_t, char, int32_t)>;
  // The section's trailer dictionary (for a stream: its dictionary) as PDF text.
  using TTrailerEvent = std::function<void(const std::string&)>;
  // The file offset of a section, before it is read.
  using TSectionEvent = std::function<void(int32_t)>;

  explicit TPDFXRefReader(TXRStringStream* Source) : FSource(Source) {}

  TEntryEvent OnEntry;
  TTrailerEvent OnTrailer;
  TSectionEvent OnSection;

  // The bytes [Pos, Pos + Count) of the source, cut to what exists.
  std::string_view ReadAt(int64_t Pos, int64_t Count) const;
  // The offset of the last cross-reference section, 0 when none is found.
  int32_t FindStartXRef() const;
  // Reads the section at Offset and the sections it leads to. False when a
  // section of the Prev chain cannot be identified or has no trailer. A section
  // already read ends the chain (true).
  bool ReadSection(int64_t Offset);

 private:
  // Each returns false on failure; Next receives the Prev offset to read next,
  // or -1 when the chain ends.
  bool ReadXRefTable(int64_t Pos, int64_t& Next, int Depth);
  bool ReadXRefStream(int64_t Pos, int64_t& Next);
  bool ReadChain(int64_t Offset, int Depth);

  TXRStringStream* FSource;
  std::unordered_set<int64_t> FVisited;
};

// ================================================================ rebuild scan
// What one pass over a damaged file finds: the places the rebuild of the
// object table starts from. Offsets are byte positions in the scanned data.
struct TPDFObjectHeader {
  int32_t Number = 0;
  int32_t Generation = 0;
  int32_t Offset = 0;  // where the object number starts
};

struct TPDFFileScan {
  // Every "N G obj", in file order (later copies of a number included).
  std::vector<TPDFObjectHeader> Headers;
  // Positions of every "trailer" keyword.
  std::vector<int32_t> Trailers;
  // Positions of every "endstream" keyword, ascending.
  std::vector<int32_t> EndStreams;
  // Positions of the names /XRef and /ObjStm, the marks of cross-reference
  // streams and object streams (to be confirmed by parsing the object).
  std::vector<int32_t> XRefMarks;
  std::vector<int32_t> ObjStmMarks;

  // Index into Headers of the last header at or before Position; -1 when none.
  int64_t HeaderBefore(int64_t Position) const;
};

// Scans Data once, front to back. The data of a stream (from "stream" and its
// line end to the next "endstream") are skipped, so that objects written
// inside stream data are not taken for the file's own. Time and memory are
// linear in the size of Data; Data must be shorter than 2 GiB.
TPDFFileScan ScanFile(std::string_view Data);
