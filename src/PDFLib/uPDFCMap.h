// CMaps: ToUnicode maps, encoding CMaps (embedded or predefined) and the
// CID-to-Unicode maps of Adobe's character collections; one reader for all.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TCodePage;
class TResourceData;

// Codes of Bytes bytes (1..4) whose every byte lies between the matching
// bytes of Low and High.
struct TPDFCodespaceRange {
  uint8_t Bytes = 0;
  std::array<uint8_t, 4> Low{}, High{};
};

// Codes FirstCode..LastCode (big-endian values of their bytes). In a Unicode
// map FirstCode maps to the characters Pool[Dest, Dest + Length) and every
// following code to the same characters with the last one raised by the
// distance; in a CID map FirstCode maps to CID Dest and every following code
// to the next CID.
struct TPDFCMapRange {
  uint32_t FirstCode = 0;
  uint32_t LastCode = 0;
  uint32_t Dest = 0;
  uint32_t Length = 0;
};

// One CMap: its codespace, its Unicode (bf) and CID mappings, and the CMap it
// uses. Read with Parse (any bytes; whatever reads as a mapping is kept,
// whatever the section counts claim), completed with Finish; look-ups take
// O(log n) and are safe from several threads once finished.
class TPDFCMap {
 public:
  // Adds the sections of CMap text: every codespacerange, bfchar, bfrange,
  // cidchar, cidrange and notdefrange section, usecmap, WMode and the
  // CIDSystemInfo names.
  void Parse(std::string_view Text);
  // Puts a finished Parent under this map: its codespace and its mappings
  // serve the codes this map leaves unmapped. Call before Finish.
  void Inherit(std::shared_ptr<const TPDFCMap> Parent);
  // Orders the mappings and builds the look-up tables. Among Unicode ranges
  // that cover one code the one with the smaller FirstCode wins (ties in the
  // order an exchange sort leaves them); among CID ranges the later one.
  void Finish();

  bool Empty() const { return FUnicodeSpans.empty() && FCIDSpans.empty(); }
  bool HasCodespace() const { return !Codespaces.empty(); }

  // The next code of a shown string from Pos, split by the codespace (one
  // byte per code without one); Pos moves past it. False when fewer bytes are
  // left than the code needs (a cut-off code adds nothing).
  bool NextCode(std::string_view Bytes, size_t& Pos, uint32_t& Code) const;
  // Appends the characters Code maps to; false (nothing appended) when no
  // range covers it.
  bool Lookup(uint32_t Code, std::u32string& Out) const;
  // The CID of Code: its cidchar or cidrange, else its notdefrange.
  std::optional<uint32_t> LookupCID(uint32_t Code) const;

  std::vector<TPDFCodespaceRange> Codespaces;
  std::vector<TPDFCMapRange> UnicodeRanges, CIDRanges, NotdefRanges;
  std::u32string Pool;
  // The CMap named by usecmap ("" for none), WMode, and the character
  // collection of CIDSystemInfo.
  std::string UseCMap;
  int WMode = 0;
  std::string Registry, Ordering;

 private:
  // Codes First..Last, all taken from one range (whose first code is
  // RangeFirst); Dest and Length as in TPDFCMapRange, Dest into FPool.
  struct TSpan {
    uint32_t First, Last, RangeFirst, Dest, Length;
  };
  static std::vector<TSpan> BuildSpans(const std::vector<TPDFCMapRange>& Ordered);
  static const TSpan* FindSpan(const std::vector<TSpan>& Spans, uint32_t Code);

  std::vector<std::shared_ptr<const TPDFCMap>> FParents;
  // The ranges in the order they claim codes, the parents' after this map's,
  // and the destinations of all of them: a finished map owns everything it
  // reads, so it can be copied and moved freely.
  std::vector<TPDFCMapRange> FUnicodeOrder, FCIDOrder, FNotdefOrder;
  std::u32string FPool;
  std::vector<TSpan> FUnicodeSpans, FCIDSpans, FNotdefSpans;
  // Per first byte, the code lengths (bit n-1 for n bytes) of the codespace
  // ranges it opens.
  std::array<uint8_t, 256> FLengthsByFirstByte{};
  uint8_t FShortest = 1;
};

// A ToUnicode map: nothing at all unless the text holds a readable codespace
// range. A bfchar pair whose source is code 0 or whose destination is U+0000
// adds nothing. Finished.
TPDFCMap ParseToUnicode(std::string_view Text);

// ================================================================ predefined CMaps

// The predefined CMaps of the installed resources, each read once per store
// and only when asked for; the CMaps they use are read with them. Safe to use
// from several threads.
class TPDFCMapStore {
 public:
  // The process-wide store over the installed resources.
  static TPDFCMapStore& Installed();
  // Data must outlive the store.
  explicit TPDFCMapStore(const TResourceData& Data);

  // The finished CMap Name ("UniGB-UCS2-H", "Adobe-GB1-UCS2"); null when the
  // resources lack it. Identity-H and Identity-V are not read: callers treat
  // them as two-byte codes that are their own CIDs.
  std::shared_ptr<const TPDFCMap> Find(std::string_view Name);
  // The CID-to-Unicode map of a collection ("Adobe", "GB1" gives
  // Adobe-GB1-UCS2); null when there is none.
  std::shared_ptr<const TPDFCMap> CIDToUnicode(std::string_view Registry, std::string_view Ordering);

 private:
  std::shared_ptr<const TPDFCMap> Load(const std::string& Name, int Depth);

  const TResourceData& FData;
  std::recursive_mutex FLock;
  std::unordered_map<std::string, std::shared_ptr<const TPDFCMap>> FMaps;  // null: not found
};

// Whether Name is Identity-H or Identity-V.
bool IsIdentityCMapName(std::string_view Name);
