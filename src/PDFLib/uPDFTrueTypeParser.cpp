// Reader of TrueType programs, as far as text needs them.
#include "uPDFTrueTypeParser.h"

#include <algorithm>
#include <array>

#include "uPDFExtra.h"
#include "uPDFFontConst.h"

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
  if (const auto* CMap = FindTable("cmap")) ReadCMap(Data, *CMap);

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

void TPDFTrueTypeParser::ReadCMap(std::string_view Data, const TTrueTypeTable& CMap) {
  // Glyph indices are 16-bit; a glyph beyond the count maxp gives still gets
  // its character, up to the largest index seen.
  const uint64_t Base = CMap.Offset;
  const uint64_t Count = std::min<uint64_t>(U16(Data, Base + 2), ItemsLeft(Data, Base + 4, 8));
  // Every subtable costs at most this many code steps in all, however many
  // codes its segments or groups claim.
  uint64_t Budget = uint64_t{1} << 22;
  auto Put = [&](uint64_t Char, uint64_t Glyph) {
    if (Glyph == 0 || Glyph > 0xFFFF) return;
    if (GlyphUnicodes.size() <= Glyph) GlyphUnicodes.resize(Glyph + 1, 0);
    if (GlyphUnicodes[Glyph] == 0) GlyphUnicodes[Glyph] = static_cast<char32_t>(Char);
  };
  // MacRoman codes as characters, for the (1, 0) subtable.
  auto MacRomanChar = [](uint32_t Code) -> char32_t {
    static const std::array<char32_t, 256> Table = [] {
      std::array<char32_t, 256> T{};
      TPDFGlyphNames Names;
      GetEncodingGlyphNames(TPDFBaseEncoding::encMacRoman, Names);
      for (int C = 0; C < 256; ++C) {
        const std::u32string Chars = GlyphNameToUnicode(Names[C]);
        T[C] = Chars.size() == 1 ? Chars[0] : (C < 128 ? static_cast<char32_t>(C) : 0);
      }
      return T;
    }();
    return Code < 256 ? Table[Code] : 0;
  };
  auto ReadSubtable = [&](uint64_t At, bool MacRoman) {
    auto Char = [&](uint64_t Code) -> uint64_t { return MacRoman ? MacRomanChar(static_cast<uint32_t>(Code)) : Code; };
    switch (U16(Data, At)) {
      case 0:
        for (uint64_t C = 0; C < 256 && At + 6 + C < Data.size(); ++C) Put(Char(C), U8(Data, At + 6 + C));
        break;
      case 4: {
        const uint64_t Segments = U16(Data, At + 6) / 2;
        const uint64_t Ends = At + 14, Starts = Ends + 2 * Segments + 2, Deltas = Starts + 2 * Segments,
                       Offsets = Deltas + 2 * Segments;
        for (uint64_t S = 0; S < Segments && Offsets + 2 * S + 2 <= Data.size(); ++S) {
          const uint32_t First = U16(Data, Starts + 2 * S), Last = U16(Data, Ends + 2 * S);
          const uint32_t Delta = U16(Data, Deltas + 2 * S), RangeOffset = U16(Data, Offsets + 2 * S);
          for (uint64_t C = First; C <= Last && Budget; ++C, --Budget) {
            uint32_t Glyph;
            if (RangeOffset == 0) {
              Glyph = (C + Delta) & 0xFFFF;
            } else {
              Glyph = U16(Data, Offsets + 2 * S + RangeOffset + 2 * (C - First));
              if (Glyph) Glyph = (Glyph + Delta) & 0xFFFF;
            }
            Put(Char(C), Glyph);
          }
        }
        break;
      }
      case 6: {
        const uint64_t First = U16(Data, At + 6);
        const uint64_t N = std::min<uint64_t>(U16(Data, At + 8), ItemsLeft(Data, At + 10, 2));
        for (uint64_t I = 0; I < N; ++I) Put(Char(First + I), U16(Data, At + 10 + 2 * I));
        break;
      }
      case 12: {
        const uint64_t N = std::min<uint64_t>(U32(Data, At + 12), ItemsLeft(Data, At + 16, 12));
        for (uint64_t G = 0; G < N; ++G) {
          const uint64_t First = U32(Data, At + 16 + 12 * G), Last = U32(Data, At + 20 + 12 * G);
          const uint64_t Glyph = U32(Data, At + 24 + 12 * G);
          // Only the characters whose glyphs are 16-bit indices.
          const uint64_t End = std::min<uint64_t>({Last, 0x10FFFF, First + (Glyph <= 0xFFFF ? 0xFFFF - Glyph : 0)});
          for (uint64_t C = First; C <= End && Budget && Glyph <= 0xFFFF; ++C, --Budget) Put(C, Glyph + (C - First));
        }
        break;
      }
      default:
        break;
    }
  };
  // The preferred subtables first: later ones only fill glyphs still without
  // a character.
  for (const auto& [Platform, Encoding] : {std::pair{3u, 10u}, std::pair{3u, 1u}, std::pair{1u, 0u}})
    for (uint64_t I = 0; I < Count; ++I)
      if (U16(Data, Base + 4 + 8 * I) == Platform && U16(Data, Base + 6 + 8 * I) == Encoding) {
        ReadSubtable(Base + U32(Data, Base + 8 + 8 * I), Platform == 1);
        break;
      }
}
