// Test-only font programs and installed fonts.
#include "TestFonts.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

void Put16(std::string& S, uint32_t V) {
  S += static_cast<char>(V >> 8 & 0xFF);
  S += static_cast<char>(V & 0xFF);
}
void Put32(std::string& S, uint32_t V) {
  Put16(S, V >> 16);
  Put16(S, V & 0xFFFF);
}

}  // namespace

std::string MakeTrueType(const TTestTrueType& Font) {
  const uint16_t Glyphs = Font.NumGlyphs ? Font.NumGlyphs : static_cast<uint16_t>(Font.Advances.size());
  std::vector<std::pair<std::string, std::string>> Tables;

  std::string Head(54, '\0');
  Head[18] = static_cast<char>(Font.UnitsPerEm >> 8);
  Head[19] = static_cast<char>(Font.UnitsPerEm & 0xFF);
  Tables.emplace_back("head", Head);

  std::string Maxp;
  Put32(Maxp, 0x00005000);
  Put16(Maxp, Glyphs);
  Tables.emplace_back("maxp", Maxp);

  std::string Hhea;
  Put32(Hhea, Font.HheaVersion);
  Hhea.append(30, '\0');
  Put16(Hhea, static_cast<uint16_t>(Font.Advances.size()));
  Tables.emplace_back("hhea", Hhea);

  std::string Hmtx;
  for (uint16_t A : Font.Advances) {
    Put16(Hmtx, A);
    Put16(Hmtx, 0);
  }
  Tables.emplace_back("hmtx", Hmtx);

  std::string Post;
  Put32(Post, Font.PostVersion);
  Post.append(28, '\0');
  if (Font.PostVersion == 0x00020000 || Font.PostVersion == 0x00025000) {
    Put16(Post, Font.PostGlyphCount ? Font.PostGlyphCount : static_cast<uint16_t>(Font.Names.size()));
    std::string Strings;
    uint16_t Own = 0;
    for (const auto& Name : Font.Names) {
      const bool Standard = !Name.empty() && Name[0] == '#';
      if (Font.PostVersion == 0x00025000) {
        Post += static_cast<char>(static_cast<int8_t>(std::stoi(Name.substr(1))));
      } else if (Standard) {
        Put16(Post, static_cast<uint32_t>(std::stoi(Name.substr(1))));
      } else {
        Put16(Post, 258u + Own++);
        Strings += static_cast<char>(Name.size());
        Strings += Name;
      }
    }
    Post += Strings;
  }
  Tables.emplace_back("post", Post);

  if (!Font.Characters.empty()) {
    // Format 4: one segment per character, then the closing 0xFFFF one.
    std::vector<std::pair<uint32_t, uint16_t>> Bmp;
    for (const auto& [Char, Glyph] : Font.Characters)
      if (Char < 0xFFFF) Bmp.emplace_back(Char, Glyph);
    const auto Segments = static_cast<uint32_t>(Bmp.size() + 1);
    std::string F4;
    Put16(F4, 4);
    Put16(F4, 16 + 8 * Segments);
    Put16(F4, 0);
    Put16(F4, 2 * Segments);
    Put16(F4, 0);
    Put16(F4, 0);
    Put16(F4, 0);
    for (const auto& B : Bmp) Put16(F4, B.first);  // end codes
    Put16(F4, 0xFFFF);
    Put16(F4, 0);
    for (const auto& B : Bmp) Put16(F4, B.first);  // start codes
    Put16(F4, 0xFFFF);
    for (const auto& B : Bmp) Put16(F4, (B.second - B.first) & 0xFFFF);  // deltas
    Put16(F4, 1);
    for (uint32_t I = 0; I < Segments; ++I) Put16(F4, 0);  // range offsets
    std::string F12;
    Put16(F12, 12);
    Put16(F12, 0);
    Put32(F12, 16 + 12 * static_cast<uint32_t>(Font.Characters.size()));
    Put32(F12, 0);
    Put32(F12, static_cast<uint32_t>(Font.Characters.size()));
    for (const auto& [Char, Glyph] : Font.Characters) {
      Put32(F12, Char);
      Put32(F12, Char);
      Put32(F12, Glyph);
    }
    std::string CMap;
    Put16(CMap, 0);
    Put16(CMap, 2);
    Put16(CMap, 3);
    Put16(CMap, 1);
    Put32(CMap, 4 + 2 * 8);
    Put16(CMap, 3);
    Put16(CMap, 10);
    Put32(CMap, 4 + 2 * 8 + static_cast<uint32_t>(F4.size()));
    CMap += F4;
    CMap += F12;
    Tables.emplace_back("cmap", CMap);
  }

  std::string Out;
  Put32(Out, Font.Version);
  Put16(Out, static_cast<uint32_t>(Tables.size()));
  Out.append(6, '\0');
  uint32_t Offset = 12 + 16 * static_cast<uint32_t>(Tables.size());
  std::string Body;
  for (const auto& [Tag, Data] : Tables) {
    Out += Tag;
    Put32(Out, 0);
    Put32(Out, Offset + static_cast<uint32_t>(Body.size()));
    Put32(Out, static_cast<uint32_t>(Data.size()));
    Body += Data;
    Body.append((4 - Body.size() % 4) % 4, '\0');
  }
  return Out + Body;
}

TSystemFonts::TFontFile TFakeSystemFonts::FontFile(const std::string& Family, bool Bold, bool Italic, uint64_t MaxSize) {
  Requests.push_back(Family + "/" + (Bold ? "bold" : "") + "/" + (Italic ? "italic" : ""));
  auto It = Files.find({Family, Bold, Italic});
  if (It == Files.end()) {
    TFontFile None;
    None.Error = true;
    return None;
  }
  TFontFile F = It->second;
  if (F.Size > MaxSize) F.Bytes.clear();
  return F;
}

void TFakeSystemFonts::AddFile(const std::string& Family, std::string Bytes, bool Bold, bool Italic) {
  TFontFile F;
  F.Size = Bytes.size();
  F.Bytes = std::move(Bytes);
  Files[{Family, Bold, Italic}] = std::move(F);
}

std::string ReadWholeFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::ostringstream Out;
  Out << In.rdbuf();
  return Out.str();
}

TType1Embedding EmbedType1(const std::string& Pfa) {
  TType1Embedding E;
  size_t ClearEnd = Pfa.find("eexec");
  const size_t Mark = Pfa.rfind("cleartomark");
  if (ClearEnd == std::string::npos || Mark == std::string::npos || Mark < ClearEnd) return E;
  ClearEnd += 5;
  if (Pfa.compare(ClearEnd, 2, "\r\n") == 0)
    ClearEnd += 2;
  else if (ClearEnd < Pfa.size() && (Pfa[ClearEnd] == '\r' || Pfa[ClearEnd] == '\n'))
    ++ClearEnd;
  // The trailer: the zeros (and line ends) before cleartomark, and the rest.
  size_t TrailerStart = Mark;
  while (TrailerStart > ClearEnd && (Pfa[TrailerStart - 1] == '0' || Pfa[TrailerStart - 1] == '\r' ||
                                     Pfa[TrailerStart - 1] == '\n'))
    --TrailerStart;
  std::string Encrypted = Pfa.substr(ClearEnd, TrailerStart - ClearEnd);
  // A hexadecimal encrypted part goes into the PDF in binary.
  if (Encrypted.find_first_not_of("0123456789abcdefABCDEF \r\n\t") == std::string::npos) {
    std::string Binary;
    int High = -1;
    for (char C : Encrypted) {
      const int V = C >= '0' && C <= '9' ? C - '0' : C >= 'a' && C <= 'f' ? C - 'a' + 10 : C >= 'A' && C <= 'F' ? C - 'A' + 10 : -1;
      if (V < 0) continue;
      if (High < 0) {
        High = V;
      } else {
        Binary += static_cast<char>(High << 4 | V);
        High = -1;
      }
    }
    Encrypted = Binary;
  }
  E.Data = Pfa.substr(0, ClearEnd) + Encrypted + Pfa.substr(TrailerStart);
  E.Length1 = static_cast<int64_t>(ClearEnd);
  E.Length2 = static_cast<int64_t>(Encrypted.size());
  E.Length3 = static_cast<int64_t>(Pfa.size() - TrailerStart);
  return E;
}
