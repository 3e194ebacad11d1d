// Cross-reference reader: the start offset, classic tables, cross-reference
// streams, hybrid files and the Prev chain.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

// A read-only stream over bytes it borrows (the document's copy of the file,
// which must outlive it).
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
