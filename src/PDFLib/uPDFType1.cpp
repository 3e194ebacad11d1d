// Type 1 and CFF font programs: built-in encodings and the CFF width scale.
#include "uPDFType1.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "uPDFExtra.h"
#include "uPDFStructure.h"

namespace {

#include "uPDFFontProgramTables.inc"

// ================================================================ Type 1 clear text

bool IsPSWhite(unsigned char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n' || C == '\f' || C == 0; }
bool IsPSDelimiter(unsigned char C) {
  return C == '(' || C == ')' || C == '<' || C == '>' || C == '[' || C == ']' || C == '{' || C == '}' || C == '/' ||
         C == '%';
}

// What an opening token of the rewritten text stands for.
enum class TOpen { Dict, Bracket, ArrayOperator };

// Rewrites PostScript tokens into PDF syntax; see Type1ClearTextToPDF.
class TClearTextRewriter {
 public:
  explicit TClearTextRewriter(std::string_view Text) : FText(Text) {}

  std::string Run() {
    while (FPos < FText.size()) {
      const unsigned char C = FText[FPos];
      if (IsPSWhite(C)) {
        ++FPos;
      } else if (C == '%') {
        while (FPos < FText.size() && FText[FPos] != '\r' && FText[FPos] != '\n') ++FPos;
      } else if (C == '(') {
        const size_t End = StringEnd();
        Emit(std::string(FText.substr(FPos, End - FPos)));
        FPos = End;
      } else if (C == '<' && Next() == '<') {
        FPos += 2;
        Open(TOpen::Dict, "<<");
      } else if (C == '>' && Next() == '>') {
        FPos += 2;
        Close(TOpen::Dict);
      } else if (C == '<' && Next() == '~') {
        const size_t End = FText.find("~>", FPos);
        FPos = End == std::string_view::npos ? FText.size() : End + 2;
        Emit("()");
      } else if (C == '<') {
        const size_t End = FText.find('>', FPos);
        const size_t Stop = End == std::string_view::npos ? FText.size() : End + 1;
        Emit(std::string(FText.substr(FPos, Stop - FPos)) + (End == std::string_view::npos ? ">" : ""));
        FPos = Stop;
      } else if (C == '[' || C == '{') {
        ++FPos;
        Open(TOpen::Bracket, "[");
      } else if (C == ']' || C == '}') {
        ++FPos;
        Close(TOpen::Bracket);
      } else if (C == '>' || C == ')') {
        ++FPos;  // stray closing delimiter
      } else if (C == '/') {
        const size_t Start = FPos++;
        while (FPos < FText.size() && !IsPSWhite(FText[FPos]) && !IsPSDelimiter(FText[FPos])) ++FPos;
        Emit(std::string(FText.substr(Start, FPos - Start)));
      } else {
        const size_t Start = FPos;
        while (FPos < FText.size() && !IsPSWhite(FText[FPos]) && !IsPSDelimiter(FText[FPos])) ++FPos;
        if (!Word(FText.substr(Start, FPos - Start))) break;
      }
    }
    while (!FOpen.empty()) Close(FOpen.back());
    std::string Out;
    for (const auto& T : FTokens) {
      Out += T;
      Out += ' ';
    }
    return Out;
  }

 private:
  unsigned char Next() const { return FPos + 1 < FText.size() ? FText[FPos + 1] : 0; }

  // The end of the string token at FPos (balanced parentheses, escapes).
  size_t StringEnd() const {
    int Depth = 0;
    for (size_t I = FPos; I < FText.size(); ++I) {
      const char C = FText[I];
      if (C == '\\')
        ++I;
      else if (C == '(')
        ++Depth;
      else if (C == ')' && --Depth == 0)
        return I + 1;
    }
    return FText.size();
  }

  // Output starts at the first dictionary; tokens before it are dropped.
  void Emit(std::string Token) {
    if (FStarted) FTokens.push_back(std::move(Token));
  }
  void Open(TOpen Kind, const char* Token) {
    if (Kind == TOpen::Dict) FStarted = true;
    if (!FStarted) return;
    FTokens.emplace_back(Token);
    FOpen.push_back(Kind);
    ++(Kind == TOpen::Dict ? FOpenDicts : FOpenBrackets);
  }
  // Closes the innermost construct of Kind (an "array" counts as a bracket),
  // closing what is still open inside it; a closer with nothing to close is
  // dropped.
  void Close(TOpen Kind) {
    const bool Dict = Kind == TOpen::Dict;
    if ((Dict ? FOpenDicts : FOpenBrackets) == 0) return;
    for (;;) {
      const TOpen Top = FOpen.back();
      FOpen.pop_back();
      --(Top == TOpen::Dict ? FOpenDicts : FOpenBrackets);
      FTokens.emplace_back(Top == TOpen::Dict ? ">>" : "]");
      if ((Top == TOpen::Dict) == Dict) return;
    }
  }
  void DropNumberBefore() {
    if (!FTokens.empty() && IsNumberText(FTokens.back())) FTokens.pop_back();
  }

  // An executable word; false ends the clear text.
  bool Word(std::string_view W) {
    if (W == "eexec") return false;
    if (IsNumberText(W)) {
      Emit(std::string(W));
    } else if (W == "dict") {
      DropNumberBefore();
      Open(TOpen::Dict, "<<");
    } else if (W == "end") {
      Close(TOpen::Dict);
    } else if (W == "array") {
      DropNumberBefore();
      Open(TOpen::ArrayOperator, "[");
    } else if (W == "def") {
      // An array made with "array" ends where its definition does.
      if (!FOpen.empty() && FOpen.back() == TOpen::ArrayOperator) Close(TOpen::Bracket);
    } else if (W == "RD" || W == "-|") {
      // A binary section of as many bytes as the number before, after one space.
      double Length = 0;
      if (!FTokens.empty() && IsNumberText(FTokens.back())) {
        Length = StrToNumber(FTokens.back());
        FTokens.pop_back();
      }
      const double Left = static_cast<double>(FText.size() - FPos);
      FPos += 1 + static_cast<size_t>(Length > 0 ? std::min(Length, Left) : 0);
      FPos = std::min(FPos, FText.size());
      Emit("()");
    } else if (W == "true" || W == "false") {
      Emit(std::string(W));
    } else if (W.size() > 8 && W.substr(W.size() - 8) == "Encoding") {
      std::string Name(1, '/');  // StandardEncoding and its kind, as names
      Name.append(W);
      Emit(std::move(Name));
    }
    // dup, put, def, readonly, currentdict, currentfile, begin, for, ...: dropped
    return true;
  }

  std::string_view FText;
  size_t FPos = 0;
  bool FStarted = false;
  std::vector<std::string> FTokens;
  std::vector<TOpen> FOpen;
  size_t FOpenDicts = 0, FOpenBrackets = 0;  // how many of each FOpen holds
};

// ================================================================ CFF

// Big-endian reads that give 0 past the end of the data.
uint32_t U8(std::string_view D, uint64_t At) { return ReadBigEndian(D, At, 1); }
uint32_t U16(std::string_view D, uint64_t At) { return ReadBigEndian(D, At, 2); }
uint32_t UN(std::string_view D, uint64_t At, uint32_t Size) { return ReadBigEndian(D, At, Size); }

// An INDEX: its items (each cut to the data) and the offset after it.
struct TIndex {
  std::vector<std::string_view> Items;
  uint64_t End = 0;
};

// The number of items ReadIndex gives for the INDEX at At, in constant time.
size_t IndexItemCount(std::string_view D, uint64_t At) {
  const uint32_t Count = U16(D, At);
  const uint32_t OffSize = U8(D, At + 2);
  if (Count == 0 || At + 3 > D.size() || OffSize < 1 || OffSize > 4) return 0;
  const uint64_t Fit = (D.size() - (At + 3)) / OffSize;
  return static_cast<size_t>(std::min<uint64_t>(Count, Fit == 0 ? 0 : Fit - 1));
}

TIndex ReadIndex(std::string_view D, uint64_t At) {
  TIndex Index;
  const uint32_t Count = U16(D, At);
  if (Count == 0 || At + 3 > D.size()) {
    Index.End = At + 2;
    return Index;
  }
  const uint32_t OffSize = U8(D, At + 2);
  if (OffSize < 1 || OffSize > 4) {
    Index.End = D.size();
    return Index;
  }
  // No more offsets than the data holds.
  const uint64_t OffsetsAt = At + 3;
  const uint64_t Fit = OffsetsAt < D.size() ? (D.size() - OffsetsAt) / OffSize : 0;
  const uint64_t N = std::min<uint64_t>(Count, Fit == 0 ? 0 : Fit - 1);
  const uint64_t Base = OffsetsAt + (uint64_t{Count} + 1) * OffSize - 1;  // offsets count from 1
  Index.Items.reserve(N);
  uint64_t Start = UN(D, OffsetsAt, OffSize);
  for (uint64_t I = 0; I < N; ++I) {
    const uint64_t Stop = UN(D, OffsetsAt + (I + 1) * OffSize, OffSize);
    const uint64_t From = Base + Start;
    if (Stop > Start && From < D.size())
      Index.Items.push_back(D.substr(From, Stop - Start));
    else
      Index.Items.emplace_back();
    Start = Stop;
  }
  Index.End = Base + UN(D, OffsetsAt + uint64_t{Count} * OffSize, OffSize);
  return Index;
}

// The operators of a DICT with their operands (escaped operators are 1200 + b1).
struct TDictEntry {
  int Operator;
  std::vector<double> Operands;
};

std::vector<TDictEntry> ReadDict(std::string_view D) {
  std::vector<TDictEntry> Entries;
  std::vector<double> Stack;
  for (size_t I = 0; I < D.size();) {
    const uint32_t B = U8(D, I);
    if (B <= 21) {
      int Op = static_cast<int>(B);
      ++I;
      if (B == 12) Op = 1200 + static_cast<int>(U8(D, I++));
      Entries.push_back({Op, std::move(Stack)});
      Stack.clear();
    } else if (B == 28) {
      Stack.push_back(static_cast<int16_t>(U16(D, I + 1)));
      I += 3;
    } else if (B == 29) {
      Stack.push_back(static_cast<int32_t>(UN(D, I + 1, 4)));
      I += 5;
    } else if (B == 30) {
      // A real: nibbles up to the end nibble 0xF.
      std::string Text;
      bool Done = false;
      for (++I; I < D.size() && !Done; ++I) {
        for (int Shift : {4, 0}) {
          const unsigned N = (static_cast<unsigned char>(D[I]) >> Shift) & 0xF;
          if (N <= 9)
            Text += static_cast<char>('0' + N);
          else if (N == 0xA)
            Text += '.';
          else if (N == 0xB)
            Text += 'E';
          else if (N == 0xC)
            Text += "E-";
          else if (N == 0xE)
            Text += '-';
          else if (N == 0xF) {
            Done = true;
            break;
          }
        }
      }
      char* End = nullptr;
      double V = std::strtod(Text.c_str(), &End);
      Stack.push_back(std::isfinite(V) ? V : 0);
    } else if (B >= 32 && B <= 246) {
      Stack.push_back(static_cast<double>(B) - 139);
      ++I;
    } else if (B >= 247 && B <= 250) {
      Stack.push_back((static_cast<double>(B) - 247) * 256 + U8(D, I + 1) + 108);
      I += 2;
    } else if (B >= 251 && B <= 254) {
      Stack.push_back(-(static_cast<double>(B) - 251) * 256 - U8(D, I + 1) - 108);
      I += 2;
    } else {
      ++I;  // reserved
    }
    if (Stack.size() > 48) Stack.erase(Stack.begin());  // the format allows 48 operands
  }
  return Entries;
}

const TDictEntry* FindOperator(const std::vector<TDictEntry>& Entries, int Op) {
  for (const auto& E : Entries)
    if (E.Operator == Op) return &E;
  return nullptr;
}

// An offset operand that the data can hold, else none.
std::optional<uint64_t> OffsetOperand(const TDictEntry* E, std::string_view D) {
  if (!E || E->Operands.empty()) return std::nullopt;
  const double V = E->Operands.back();
  if (!(V >= 0) || V >= static_cast<double>(D.size())) return std::nullopt;
  return static_cast<uint64_t>(V);
}

constexpr int OpCharset = 15, OpEncoding = 16, OpCharStrings = 17, OpFontMatrix = 1207, OpROS = 1230;

}  // namespace

std::string Type1ClearTextToPDF(std::string_view Clear) { return TClearTextRewriter(Clear).Run(); }

std::string DecryptEexec(std::string_view Cipher) {
  std::string Bytes;
  const bool Hex = Cipher.size() >= 4 && std::all_of(Cipher.begin(), Cipher.begin() + 4, [](char C) {
                     return IsPDFHexDigit(static_cast<unsigned char>(C));
                   });
  if (Hex) {
    Bytes.reserve(Cipher.size() / 2);
    int High = -1;
    for (char C : Cipher) {
      const int V = HexDigitValue(static_cast<unsigned char>(C));
      if (V < 0) continue;
      if (High < 0) {
        High = V;
      } else {
        Bytes += static_cast<char>(High << 4 | V);
        High = -1;
      }
    }
  } else {
    Bytes.assign(Cipher);
  }
  uint16_t R = 55665;
  std::string Plain;
  Plain.reserve(Bytes.size());
  for (size_t I = 0; I < Bytes.size(); ++I) {
    const auto C = static_cast<unsigned char>(Bytes[I]);
    if (I >= 4) Plain += static_cast<char>(C ^ (R >> 8));
    R = static_cast<uint16_t>((C + R) * 52845u + 22719u);
  }
  return Plain;
}

// ================================================================ TPDFType1Decoder

TPDFType1Decoder::TPDFType1Decoder() { GetEncodingGlyphNames(TPDFBaseEncoding::encStandard, BuiltInEncoding); }

void TPDFType1Decoder::LoadType1(const TPDFStream* FontFile) {
  if (!FontFile) return;
  auto* Dict = FontFile->Dictionary();
  auto Length = [&](std::string_view Key) -> int64_t {
    const auto* N = As<TPDFNumeric>(Dict->GetValue(Key, true));
    return N ? N->IntValue() : 0;
  };
  LoadType1Program(FontFile->GetDecodedData(), Length("Length1"), Length("Length2"), Length("Length3"));
}

void TPDFType1Decoder::LoadType1Program(std::string_view Data, int64_t Length1, int64_t Length2, int64_t Length3) {
  GetEncodingGlyphNames(TPDFBaseEncoding::encStandard, BuiltInEncoding);
  if (Length1 > 0 && Length2 > 0) {
    const auto Cut = [&](uint64_t From, int64_t Length) {
      return From < Data.size() && Length > 0 ? std::string(Data.substr(From, static_cast<uint64_t>(Length)))
                                              : std::string();
    };
    ClearText = Cut(0, Length1);
    EncryptedPart = Cut(static_cast<uint64_t>(Length1), Length2);
    Trailer = Cut(static_cast<uint64_t>(Length1) + static_cast<uint64_t>(Length2), Length3);
  }
  ReadClearText();
  PrivateText = DecryptEexec(EncryptedPart);
}

void TPDFType1Decoder::ReadClearText() {
  if (ClearText.empty()) return;
  TPDFStructure Syntax;
  auto* Font = As<TPDFDictionary>(Syntax.ParseObject(Type1ClearTextToPDF(ClearText)));
  if (!Font) return;
  auto* Encoding = Font->GetValue("Encoding", false);
  const auto* Pairs = As<TPDFArray>(Encoding);
  if (!Pairs) return;  // StandardEncoding, or nothing usable
  int64_t Code = -1;
  for (int I = 0; I < Pairs->Count(); ++I) {
    auto* Item = Pairs->GetItem(I);
    if (const auto* N = As<TPDFNumeric>(Item))
      Code = N->IntValue();
    else if (const auto* Name = As<TPDFName>(Item))
      if (Code >= 0 && Code <= 255) BuiltInEncoding[static_cast<size_t>(Code)] = Name->Value();
  }
}

void TPDFType1Decoder::LoadCFF(const TPDFStream* FontFile) {
  if (FontFile) LoadCFFProgram(FontFile->GetDecodedData());
}

void TPDFType1Decoder::LoadCFFProgram(std::string_view D) {
  BuiltInEncoding.fill(std::string());
  GlyphNames.clear();
  IsCIDKeyed = false;
  FWidthScale = 1.0;

  const TIndex Names = ReadIndex(D, U8(D, 2));
  const TIndex TopDicts = ReadIndex(D, Names.End);
  const TIndex Strings = ReadIndex(D, TopDicts.End);
  ReadIndex(D, Strings.End);  // global subroutines: drawing only

  const auto SidName = [&](uint32_t Sid) -> std::string {
    if (Sid < 391) return CffStandardStrings[Sid];
    return Sid - 391 < Strings.Items.size() ? std::string(Strings.Items[Sid - 391]) : std::string();
  };

  // Every top dictionary gives ROS and FontMatrix; the charset and encoding
  // come from the last one with glyphs (a FontFile3 holds one font, and
  // reading each dictionary's in turn would let a program of thousands of
  // top dictionaries take quadratic time).
  std::vector<TDictEntry> Entries;
  size_t GlyphCount = 0;
  bool CIDKeyedThere = false;
  for (std::string_view Top : TopDicts.Items) {
    auto TopEntries = ReadDict(Top);
    if (FindOperator(TopEntries, OpROS)) IsCIDKeyed = true;
    if (const auto* Matrix = FindOperator(TopEntries, OpFontMatrix)) {
      const double Scale = Matrix->Operands.empty() ? 0 : 1000 * Matrix->Operands.front();
      FWidthScale = Scale == 0 ? 1.0 : Scale;
    }
    const auto CharStringsAt = OffsetOperand(FindOperator(TopEntries, OpCharStrings), D);
    const size_t Glyphs = CharStringsAt ? IndexItemCount(D, *CharStringsAt) : 0;
    if (Glyphs == 0) continue;
    Entries = std::move(TopEntries);
    GlyphCount = Glyphs;
    CIDKeyedThere = IsCIDKeyed;
  }
  if (GlyphCount > 0) {

    // The charset: a SID (a CID for CID-keyed fonts) per glyph.
    std::vector<uint32_t> Ids(GlyphCount, 0);
    bool Named = true;
    const auto* CharsetOp = FindOperator(Entries, OpCharset);
    const double CharsetValue = CharsetOp && !CharsetOp->Operands.empty() ? CharsetOp->Operands.back() : 0;
    if (CharsetValue == 0) {
      for (size_t G = 0; G < GlyphCount; ++G) Ids[G] = static_cast<uint32_t>(G);
    } else if (CharsetValue == 1 || CharsetValue == 2) {
      Named = false;  // the predefined Expert charsets: no tables, no names
    } else if (auto At = OffsetOperand(CharsetOp, D)) {
      const uint32_t Format = U8(D, *At);
      uint64_t P = *At + 1;
      if (Format == 0) {
        for (size_t G = 1; G < GlyphCount && P + 2 <= D.size(); ++G, P += 2) Ids[G] = U16(D, P);
      } else if (Format == 1 || Format == 2) {
        const uint32_t CountSize = Format == 1 ? 1 : 2;
        for (size_t G = 1; G < GlyphCount && P + 2 + CountSize <= D.size(); P += 2 + CountSize) {
          const uint32_t First = U16(D, P);
          const uint32_t Left = UN(D, P + 2, CountSize);
          for (uint32_t K = 0; K <= Left && G < GlyphCount; ++K, ++G) Ids[G] = First + K;
        }
      } else {
        Named = false;
      }
    } else {
      Named = false;
    }
    GlyphNames.assign(GlyphCount, std::string());
    if (Named)
      for (size_t G = 0; G < GlyphCount; ++G)
        GlyphNames[G] = CIDKeyedThere ? "CID:" + std::to_string(Ids[G]) : SidName(Ids[G]);

    // The encoding.
    const auto* EncodingOp = FindOperator(Entries, OpEncoding);
    const double EncodingValue = EncodingOp && !EncodingOp->Operands.empty() ? EncodingOp->Operands.back() : 0;
    if (EncodingValue == 0) {
      for (int C = 0; C < 256; ++C) BuiltInEncoding[C] = CffStandardStrings[CffStandardEncoding[C]];
    } else if (EncodingValue == 1) {
      // Expert: no names
    } else if (auto At = OffsetOperand(EncodingOp, D)) {
      BuiltInEncoding.fill(".notdef");
      const auto GlyphName = [&](size_t G) { return G < GlyphNames.size() ? GlyphNames[G] : std::string(".notdef"); };
      const uint32_t Format = U8(D, *At);
      uint64_t P = *At + 1;
      if ((Format & 0x7F) == 0) {
        const uint32_t Count = U8(D, P++);
        for (uint32_t G = 1; G <= Count && P < D.size(); ++G) BuiltInEncoding[U8(D, P++)] = GlyphName(G);
      } else if ((Format & 0x7F) == 1) {
        const uint32_t Ranges = U8(D, P++);
        size_t G = 1;
        for (uint32_t R = 0; R < Ranges && P + 2 <= D.size(); ++R, P += 2) {
          const uint32_t First = U8(D, P), Left = U8(D, P + 1);
          for (uint32_t K = 0; K <= Left && First + K <= 255; ++K) BuiltInEncoding[First + K] = GlyphName(G++);
        }
      }
      // Supplements: further codes naming a glyph by SID.
      if ((Format & 0x80) && (Format & 0x7F) <= 1) {
        const uint32_t Count = U8(D, P++);
        for (uint32_t I = 0; I < Count && P + 3 <= D.size(); ++I, P += 3) BuiltInEncoding[U8(D, P)] = SidName(U16(D, P + 1));
      }
    }
  }
}
