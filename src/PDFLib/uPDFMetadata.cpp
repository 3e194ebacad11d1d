// A document's metadata.
#include "uPDFMetadata.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>

#include "uPDFDocument.h"
#include "uPDFExtra.h"
#include "uPDFFontConst.h"
#include "uPDFStructure.h"

namespace {

void AppendUTF8(std::string& Out, char32_t C) {
  if (C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF)) C = 0xFFFD;
  if (C < 0x80) {
    Out += static_cast<char>(C);
  } else if (C < 0x800) {
    Out += static_cast<char>(0xC0 | C >> 6);
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Out += static_cast<char>(0xE0 | C >> 12);
    Out += static_cast<char>(0x80 | (C >> 6 & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | C >> 18);
    Out += static_cast<char>(0x80 | (C >> 12 & 0x3F));
    Out += static_cast<char>(0x80 | (C >> 6 & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  }
}

// The character of each PDFDocEncoding code (0: none).
const std::array<char32_t, 256>& PDFDocCharacters() {
  static const std::array<char32_t, 256> Table = [] {
    std::array<char32_t, 256> T{};
    TPDFGlyphNames Names;
    GetEncodingGlyphNames(TPDFBaseEncoding::encPDFDoc, Names);
    for (int C = 0; C < 256; ++C) {
      const std::u32string U = Names[C].empty() ? std::u32string() : GlyphNameToUnicode(Names[C]);
      T[C] = U.size() == 1 ? U[0] : 0;
    }
    // Tab, line feed and carriage return stand for themselves.
    for (char32_t C : {U'\t', U'\n', U'\r'}) T[C] = C;
    return T;
  }();
  return Table;
}

// The text of Key in Dict as UTF-8, or "".
std::string TextOf(const TPDFDictionary* Dict, std::string_view Key) {
  const auto* S = Dict ? As<TPDFString>(Dict->GetValue(Key, true)) : nullptr;
  return S ? TextStringToUTF8(S->Value()) : std::string();
}

// XML character references and the five entities, decoded.
std::string XMLText(std::string_view Text) {
  std::string Out;
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] != '&') {
      Out += Text[I];
      continue;
    }
    const size_t End = Text.find(';', I);
    if (End == std::string_view::npos || End - I > 12) {
      Out += '&';
      continue;
    }
    const std::string_view Name = Text.substr(I + 1, End - I - 1);
    char32_t C = 0;
    if (Name == "amp") C = '&';
    else if (Name == "lt") C = '<';
    else if (Name == "gt") C = '>';
    else if (Name == "quot") C = '"';
    else if (Name == "apos") C = '\'';
    else if (Name.size() > 1 && Name[0] == '#') {
      const bool Hex = Name[1] == 'x' || Name[1] == 'X';
      uint32_t V = 0;
      bool Digits = Name.size() > (Hex ? 2u : 1u);
      for (char D : Name.substr(Hex ? 2 : 1)) {
        const int Value = std::isdigit(static_cast<unsigned char>(D)) ? D - '0'
                          : Hex && std::isxdigit(static_cast<unsigned char>(D)) ? (std::tolower(D) - 'a' + 10)
                                                                               : -1;
        if (Value < 0 || V > 0x10FFFF) Digits = false;
        else V = V * (Hex ? 16 : 10) + static_cast<uint32_t>(Value);
      }
      if (Digits) C = V;
    }
    if (C == 0) {
      Out += '&';
      continue;
    }
    AppendUTF8(Out, C);
    I = End;
  }
  return Out;
}

bool Digits(std::string_view Text, size_t At, size_t Count) {
  if (At + Count > Text.size()) return false;
  for (size_t I = At; I < At + Count; ++I)
    if (!std::isdigit(static_cast<unsigned char>(Text[I]))) return false;
  return true;
}

}  // namespace

std::string XMPProperty(std::string_view Packet, std::string_view Name) {
  const std::string Open = "<" + std::string(Name);
  for (size_t At = Packet.find(Open); At != std::string_view::npos; At = Packet.find(Open, At + 1)) {
    const size_t After = At + Open.size();
    if (After >= Packet.size() || !(Packet[After] == '>' || Packet[After] == ' ' || Packet[After] == '/' ||
                                    Packet[After] == '\n' || Packet[After] == '\r' || Packet[After] == '\t'))
      continue;
    const size_t TagEnd = Packet.find('>', After);
    if (TagEnd == std::string_view::npos || Packet[TagEnd - 1] == '/') continue;
    const std::string Close = "</" + std::string(Name) + ">";
    const size_t End = Packet.find(Close, TagEnd);
    if (End == std::string_view::npos) continue;
    std::string_view Body = Packet.substr(TagEnd + 1, End - TagEnd - 1);
    // A list (Alt, Seq, Bag): its items, joined by "; ".
    std::string Items;
    for (size_t Li = Body.find("<rdf:li"); Li != std::string_view::npos; Li = Body.find("<rdf:li", Li + 1)) {
      const size_t Start = Body.find('>', Li);
      const size_t Stop = Start == std::string_view::npos ? Start : Body.find("</rdf:li>", Start);
      if (Stop == std::string_view::npos) break;
      if (!Items.empty()) Items += "; ";
      Items += XMLText(Body.substr(Start + 1, Stop - Start - 1));
      // An Alt holds one text in several languages: the first is taken.
      if (Body.find("<rdf:Alt") != std::string_view::npos) break;
    }
    if (!Items.empty() || Body.find('<') != std::string_view::npos) return Items;
    return XMLText(Body);
  }
  // The attribute form.
  const std::string Attribute = std::string(Name) + "=";
  for (size_t At = Packet.find(Attribute); At != std::string_view::npos; At = Packet.find(Attribute, At + 1)) {
    if (At > 0 && !std::isspace(static_cast<unsigned char>(Packet[At - 1]))) continue;
    const size_t Quote = At + Attribute.size();
    if (Quote >= Packet.size() || (Packet[Quote] != '"' && Packet[Quote] != '\'')) continue;
    const size_t End = Packet.find(Packet[Quote], Quote + 1);
    if (End == std::string_view::npos) break;
    return XMLText(Packet.substr(Quote + 1, End - Quote - 1));
  }
  return {};
}

std::string TextStringToUTF8(std::string_view Bytes) {
  std::string Out;
  if (Bytes.size() >= 2 && static_cast<unsigned char>(Bytes[0]) == 0xFE && static_cast<unsigned char>(Bytes[1]) == 0xFF) {
    for (size_t I = 2; I + 1 < Bytes.size(); I += 2) {
      char32_t C = static_cast<unsigned char>(Bytes[I]) << 8 | static_cast<unsigned char>(Bytes[I + 1]);
      if (C >= 0xD800 && C <= 0xDBFF && I + 3 < Bytes.size()) {
        const char32_t Low = static_cast<unsigned char>(Bytes[I + 2]) << 8 | static_cast<unsigned char>(Bytes[I + 3]);
        if (Low >= 0xDC00 && Low <= 0xDFFF) {
          C = 0x10000 + ((C - 0xD800) << 10) + (Low - 0xDC00);
          I += 2;
        }
      }
      AppendUTF8(Out, C);
    }
    return Out;
  }
  if (Bytes.size() >= 3 && Bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(Bytes.substr(3));
  // Some producers write UTF-8 without its mark. Letters of PDFDocEncoding
  // beyond ASCII seldom line up as UTF-8 ("\xC3\x80" would be "A tilde,
  // bullet"), so text that is UTF-8 throughout, with a character beyond
  // ASCII, is taken as UTF-8.
  if (std::any_of(Bytes.begin(), Bytes.end(), [](char B) { return static_cast<unsigned char>(B) >= 0x80; }) &&
      IsUTF8(Bytes))
    return std::string(Bytes);
  const auto& Table = PDFDocCharacters();
  for (unsigned char B : Bytes) AppendUTF8(Out, Table[B] ? Table[B] : (B < 0x20 ? U' ' : U'\uFFFD'));
  return Out;
}

std::string PDFDateToISO(std::string_view Date) {
  std::string_view D = Date;
  if (D.substr(0, 2) == "D:") D.remove_prefix(2);
  if (!Digits(D, 0, 4)) return std::string(Date);
  std::string Out(D.substr(0, 4));
  size_t At = 4;
  static constexpr const char* Separators[] = {"-", "-", "T", ":", ":"};
  for (const char* Separator : Separators) {
    if (!Digits(D, At, 2)) break;
    Out += Separator;
    Out += D.substr(At, 2);
    At += 2;
  }
  if (At >= 12 && At == 12) Out += ":00";  // hours and minutes, no seconds
  if (At >= 10 && At < D.size()) {
    const char Zone = D[At];
    if (Zone == 'Z') {
      Out += 'Z';
    } else if ((Zone == '+' || Zone == '-') && Digits(D, At + 1, 2)) {
      Out += Zone;
      Out += D.substr(At + 1, 2);
      Out += ':';
      const size_t Minutes = At + 3 < D.size() && D[At + 3] == '\'' ? At + 4 : At + 3;
      Out += Digits(D, Minutes, 2) ? std::string(D.substr(Minutes, 2)) : std::string("00");
    }
  }
  return Out;
}

TPDFMetadata ReadMetadata(TPDFDocument& Document) {
  TPDFMetadata M;
  TPDFDictionary* Trailer = Document.Trailer();
  TPDFDictionary* Info = nullptr;
  if (Trailer) {
    if (auto* Ref = As<TPDFIndRef>(Trailer->GetValue("Info", false))) Document.DecryptReachable(Ref->Number, Ref->Generation);
    Info = As<TPDFDictionary>(Trailer->GetValue("Info", true));
  }
  TPDFDictionary* Catalog = Trailer ? As<TPDFDictionary>(Trailer->GetValue("Root", true)) : nullptr;
  std::string Packet;
  if (Catalog) {
    if (auto* Ref = As<TPDFIndRef>(Catalog->GetValue("Metadata", false))) Document.DecryptReachable(Ref->Number, Ref->Generation);
    if (auto* Stream = As<TPDFStream>(Catalog->GetValue("Metadata", true))) Packet = Stream->GetDecodedData(size_t{4} << 20);
    if (auto* Mark = As<TPDFDictionary>(Catalog->GetValue("MarkInfo", true)))
      if (auto* Marked = As<TPDFBoolean>(Mark->GetValue("Marked", true))) M.Tagged = Marked->Value();
  }
  const auto Item = [&](std::string_view Key, std::string_view XMPName) {
    std::string Text = TextOf(Info, Key);
    if (Text.find_first_not_of(" \t\r\n") == std::string::npos && !Packet.empty()) Text = XMPProperty(Packet, XMPName);
    return Text;
  };
  M.Title = Item("Title", "dc:title");
  M.Author = Item("Author", "dc:creator");
  M.Subject = Item("Subject", "dc:description");
  M.Keywords = Item("Keywords", "pdf:Keywords");
  M.Creator = Item("Creator", "xmp:CreatorTool");
  M.Producer = Item("Producer", "pdf:Producer");
  const auto Date = [&](std::string_view Key, std::string_view XMPName) {
    const std::string Text = TextOf(Info, Key);
    if (Text.find_first_not_of(" \t\r\n") != std::string::npos) return PDFDateToISO(Text);
    return Packet.empty() ? std::string() : XMPProperty(Packet, XMPName);
  };
  M.CreationDate = Date("CreationDate", "xmp:CreateDate");
  M.ModDate = Date("ModDate", "xmp:ModifyDate");
  M.Version = Document.Version();
  if (Catalog)
    if (auto* V = As<TPDFName>(Catalog->GetValue("Version", true)))
      if (V->Value().size() == 3 && V->Value() > M.Version) M.Version = std::string(V->Value());
  return M;
}
