// Reader of TrueType programs, as far as text needs them.
#include "uPDFTrueTypeParser.h"

#include <algorithm>

#include "uPDFExtra.h"

namespace {

#include "uPDFFontProgramTables.inc"

// Big-endian reads that give 0 for bytes past the end of the data.
uint32_t U8(std::string_view D, uint64_t At) { return ReadBigEndian(D, At, 1); }
uint32_t U16(std::string_view D, uint64_t At) { return ReadBigEndian(D, At, 2); }
uint32_t U32(std::string_view D, uint64_t At) { return ReadBigEndian(D, At, 4); }

constexpr uint32_t MakeTag(const char (&T)[5]) {
  return static_cast<uint32_t>(static_cast<unsigned char>(T[0])) << 24 |
         static_cast<uint32_t>(static_cast<unsigned char>(T[1])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(T[2])) << 8 | static_cast<unsigned char>(T[3]);
}

// The number of whole Size-byte items from At to the end of the data.
uint64_t ItemsLeft(std::string_view D, uint64_t At, uint64_t Size) { return At < D.size() ? (D.size() - At) / Size : 0; }

}  // namespace

const TTrueTypeTable* TPDFTrueTypeParser::FindTable(const char (&Tag)[5]) const {
  const uint32_t Wanted = MakeTag(Tag);
  for (const auto& T : Tables)
    if (T.Tag == Wanted) return &T;
  return nullptr;
}

void TPDFTrueTypeParser::LoadFromData(std::string_view Data) {
  *this = TPDFTrueTypeParser();
  const uint32_t Version = U32(Data, 0);
  if (Version != 0x00010000 && Version != MakeTag("true") && Version != MakeTag("typ1")) return;

  // The directory: as many entries as it claims and the data holds.
  const uint64_t Count = std::min<uint64_t>(U16(Data, 4), ItemsLeft(Data, 12, 16));
  Tables.reserve(Count);
  for (uint64_t I = 0; I < Count; ++I) {
    const uint64_t At = 12 + 16 * I;
    Tables.push_back({U32(Data, At), U32(Data, At + 4), U32(Data, At + 8), U32(Data, At + 12)});
  }

  if (const auto* Head = FindTable("head")) {
    // A unitsPerEm of 0 would divide by zero; such a font keeps the default.
    if (const uint32_t Units = U16(Data, uint64_t{Head->Offset} + 18)) UnitsPerEm = Units;
  }
  if (const auto* Maxp = FindTable("maxp")) NumGlyphs = U16(Data, uint64_t{Maxp->Offset} + 4);
  if (const auto* Hhea = FindTable("hhea"))
    if (U32(Data, Hhea->Offset) == 0x00010000) NumberOfHMetrics = U16(Data, uint64_t{Hhea->Offset} + 34);
  if (const auto* Hmtx = FindTable("hmtx")) {
    const uint64_t N = std::min<uint64_t>(NumberOfHMetrics, ItemsLeft(Data, Hmtx->Offset, 4));
    Advances.reserve(N);
    for (uint64_t I = 0; I < N; ++I) Advances.push_back(U16(Data, Hmtx->Offset + 4 * I) * 1000 / UnitsPerEm);
  }
  if (const auto* Post = FindTable("post")) ReadPost(Data, *Post);

  FNameIndex.reserve(GlyphNames.size());
  for (size_t G = 0; G < GlyphNames.size(); ++G)
    if (!GlyphNames[G].empty()) FNameIndex[GlyphNames[G]] = static_cast<int32_t>(G);
}

void TPDFTrueTypeParser::ReadPost(std::string_view Data, const TTrueTypeTable& Post) {
  const uint64_t At = Post.Offset;
  switch (U32(Data, At)) {
    case 0x00010000: {
      const uint32_t N = std::min<uint32_t>(NumGlyphs, 258);
      GlyphNames.assign(MacGlyphNames, MacGlyphNames + N);
      break;
    }
    case 0x00020000: {
      // Glyph name indices, then the Pascal strings of the names beyond the
      // standard 258; neither can claim more than the data holds.
      const uint32_t Claimed = U16(Data, At + 32);
      const uint64_t N = std::min<uint64_t>({Claimed, NumGlyphs, ItemsLeft(Data, At + 34, 2)});
      // The strings follow the whole index array; only as many are read as
      // the indices use.
      uint32_t Needed = 0;
      for (uint64_t G = 0; G < N; ++G) Needed = std::max(Needed, U16(Data, At + 34 + 2 * G) + 1);
      std::vector<std::string_view> Extra;
      for (uint64_t P = At + 34 + 2 * uint64_t{Claimed}; P < Data.size() && Extra.size() + 258 < Needed;) {
        const uint64_t Length = U8(Data, P);
        Extra.push_back(Data.substr(P + 1, Length));
        P += 1 + Length;
      }
      GlyphNames.resize(N);
      for (uint64_t G = 0; G < N; ++G) {
        const uint32_t Index = U16(Data, At + 34 + 2 * G);
        if (Index < 258)
          GlyphNames[G] = MacGlyphNames[Index];
        else if (Index - 258 < Extra.size())
          GlyphNames[G] = Extra[Index - 258];
      }
      break;
    }
    case 0x00025000: {
      const uint64_t N = std::min<uint64_t>({U16(Data, At + 32), NumGlyphs, ItemsLeft(Data, At + 34, 1)});
      GlyphNames.resize(N);
      for (uint64_t G = 0; G < N; ++G) {
        const int64_t Standard = static_cast<int64_t>(G) + static_cast<int8_t>(U8(Data, At + 34 + G));
        if (Standard >= 1 && Standard <= 257) GlyphNames[G] = MacGlyphNames[Standard];
      }
      break;
    }
    default:  // 3.0 and unknown versions name no glyph
      break;
  }
}

int32_t TPDFTrueTypeParser::GlyphIndexOfName(std::string_view Name) const {
  auto It = FNameIndex.find(std::string(Name));
  return It == FNameIndex.end() ? -1 : It->second;
}

uint32_t TPDFTrueTypeParser::AdvanceOf(int32_t Glyph) const {
  if (Advances.empty()) return 750;
  if (Glyph >= 0 && static_cast<size_t>(Glyph) < Advances.size()) return Advances[Glyph];
  return Advances.back();
}
