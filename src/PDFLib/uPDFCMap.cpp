// CMaps: one reader for ToUnicode maps, encoding CMaps and the predefined
// CMaps of the installed resources.
#include "uPDFCMap.h"

#include <algorithm>
#include <map>

#include "CodePage.h"
#include "ResourceData.h"
#include "uPDFExtra.h"
#include "uPDFFontConst.h"

// ================================================================ tokens

namespace {

enum class TTokenKind { End, Hex, Literal, Name, Number, OpenArray, CloseArray, Keyword };

struct TToken {
  TTokenKind Kind = TTokenKind::End;
  std::string Text;  // the bytes of a string, a name without its "/", a keyword
};

// PostScript-like tokens of CMap text. Everything it skips or cuts is
// bounded by the text: a token never reaches past its end.
class TCMapLexer {
 public:
  explicit TCMapLexer(std::string_view Text) : FText(Text) {}

  TToken Next() {
    TToken T;
    SkipSpace();
    if (FPos >= FText.size()) return T;
    const unsigned char C = static_cast<unsigned char>(FText[FPos]);
    if (C == '<') {
      if (FPos + 1 < FText.size() && FText[FPos + 1] == '<') {
        FPos += 2;
        T.Kind = TTokenKind::Keyword;
        T.Text = "<<";
        return T;
      }
      ++FPos;
      T.Kind = TTokenKind::Hex;
      int High = -1;
      for (; FPos < FText.size() && FText[FPos] != '>'; ++FPos) {
        const int D = HexDigitValue(static_cast<unsigned char>(FText[FPos]));
        if (D < 0) continue;  // white space inside; other bytes are not digits
        if (High < 0) {
          High = D;
        } else {
          T.Text += static_cast<char>(High * 16 + D);
          High = -1;
        }
      }
      if (High >= 0) T.Text += static_cast<char>(High * 16);  // an odd last digit is followed by 0
      if (FPos < FText.size()) ++FPos;
      return T;
    }
    if (C == '(') {
      T.Kind = TTokenKind::Literal;
      const size_t Start = FPos;
      FPos = LiteralStringEnd(FText, FPos);
      T.Text = UnescapeLiteralString(FText.substr(Start, FPos - Start));
      return T;
    }
    if (C == '[' || C == ']') {
      ++FPos;
      T.Kind = C == '[' ? TTokenKind::OpenArray : TTokenKind::CloseArray;
      return T;
    }
    if (C == '{' || C == '}' || C == '>' || C == ')') {
      ++FPos;
      T.Kind = TTokenKind::Keyword;
      T.Text.assign(1, static_cast<char>(C));
      return T;
    }
    const bool IsName = C == '/';
    if (IsName) ++FPos;
    const size_t Start = FPos;
    while (FPos < FText.size() && !IsPDFWhite(static_cast<unsigned char>(FText[FPos])) &&
           !IsPDFDelimiter(static_cast<unsigned char>(FText[FPos])))
      ++FPos;
    if (!IsName && FPos == Start) ++FPos;  // a stray delimiter byte
    T.Text.assign(FText.substr(Start, FPos - Start));
    T.Kind = IsName ? TTokenKind::Name : IsNumberText(T.Text) ? TTokenKind::Number : TTokenKind::Keyword;
    return T;
  }

 private:
  void SkipSpace() {
    while (FPos < FText.size()) {
      const unsigned char C = static_cast<unsigned char>(FText[FPos]);
      if (C == '%') {
        while (FPos < FText.size() && FText[FPos] != '\n' && FText[FPos] != '\r') ++FPos;
      } else if (IsPDFWhite(C)) {
        ++FPos;
      } else {
        break;
      }
    }
  }

  std::string_view FText;
  size_t FPos = 0;
};

bool IsString(const TToken& T) { return T.Kind == TTokenKind::Hex || T.Kind == TTokenKind::Literal; }

// A code of one to four bytes as its big-endian value.
std::optional<uint32_t> CodeValue(const std::string& Bytes) {
  if (Bytes.empty() || Bytes.size() > 4) return std::nullopt;
  uint32_t Value = 0;
  for (unsigned char B : Bytes) Value = Value << 8 | B;
  return Value;
}

bool IsHighSurrogate(uint32_t U) { return U >= 0xD800 && U <= 0xDBFF; }
bool IsLowSurrogate(uint32_t U) { return U >= 0xDC00 && U <= 0xDFFF; }

// A destination string: UTF-16BE, surrogate pairs joined; a single byte is
// its own character, and an odd last byte is dropped.
std::u32string DecodeUTF16(const std::string& Bytes) {
  std::u32string Out;
  if (Bytes.size() == 1) {
    Out += static_cast<char32_t>(static_cast<unsigned char>(Bytes[0]));
    return Out;
  }
  for (size_t I = 0; I + 1 < Bytes.size(); I += 2) {
    uint32_t U = static_cast<unsigned char>(Bytes[I]) << 8 | static_cast<unsigned char>(Bytes[I + 1]);
    if (IsHighSurrogate(U) && I + 3 < Bytes.size()) {
      const uint32_t L = static_cast<unsigned char>(Bytes[I + 2]) << 8 | static_cast<unsigned char>(Bytes[I + 3]);
      if (IsLowSurrogate(L)) {
        U = 0x10000 + ((U - 0xD800) << 10) + (L - 0xDC00);
        I += 2;
      }
    }
    Out += static_cast<char32_t>(U);
  }
  return Out;
}

}  // namespace

// ================================================================ TPDFCMap

void TPDFCMap::Parse(std::string_view Text) {
  TCMapLexer Lexer(Text);
  TToken Previous;
  // The pending key of "/Key value def" pairs that matter here.
  std::string Key;
  // bfrange entries come before bfchar entries, each in text order.
  std::vector<TPDFCMapRange> BfRanges, BfChars;
  auto AddUnicode = [&](uint32_t First, uint32_t Last, const std::u32string& Dest, bool Char = false) {
    (Char ? BfChars : BfRanges)
        .push_back({First, Last, static_cast<uint32_t>(Pool.size()), static_cast<uint32_t>(Dest.size())});
    Pool += Dest;
  };
  // Reads the entries of a section up to its end keyword (or any other
  // keyword, or the end of the text). Each entry is a list of tokens; a
  // token of the wrong kind drops what was read of the entry.
  auto IsSectionEnd = [](const TToken& T) { return T.Kind == TTokenKind::End || T.Kind == TTokenKind::Keyword; };
  for (TToken T = Lexer.Next(); T.Kind != TTokenKind::End; Previous = T, T = Lexer.Next()) {
    if (T.Kind == TTokenKind::Name) {
      Key = T.Text;
      continue;
    }
    if (T.Kind == TTokenKind::Literal && !Key.empty()) {
      if (Key == "Registry") Registry = T.Text;
      if (Key == "Ordering") Ordering = T.Text;
      Key.clear();
      continue;
    }
    if (T.Kind == TTokenKind::Number && Key == "WMode") {
      WMode = static_cast<int>(StrToNumber(T.Text));
      Key.clear();
      continue;
    }
    if (T.Kind != TTokenKind::Keyword) {
      Key.clear();
      continue;
    }
    if (T.Text == "usecmap") {
      if (Previous.Kind == TTokenKind::Name) UseCMap = Previous.Text;
    } else if (T.Text == "begincodespacerange") {
      for (;;) {
        TToken Low = Lexer.Next();
        if (IsSectionEnd(Low)) break;
        if (!IsString(Low)) continue;
        TToken High = Lexer.Next();
        if (IsSectionEnd(High)) break;
        if (!IsString(High) || Low.Text.empty() || Low.Text.size() > 4 || High.Text.size() != Low.Text.size()) continue;
        TPDFCodespaceRange R;
        R.Bytes = static_cast<uint8_t>(Low.Text.size());
        for (size_t I = 0; I < Low.Text.size(); ++I) {
          R.Low[I] = static_cast<uint8_t>(Low.Text[I]);
          R.High[I] = static_cast<uint8_t>(High.Text[I]);
        }
        Codespaces.push_back(R);
      }
    } else if (T.Text == "beginbfchar") {
      for (;;) {
        TToken Src = Lexer.Next();
        if (IsSectionEnd(Src)) break;
        if (!IsString(Src)) continue;
        TToken Dst = Lexer.Next();
        if (IsSectionEnd(Dst)) break;
        const auto Code = CodeValue(Src.Text);
        if (!Code || !IsString(Dst)) continue;
        AddUnicode(*Code, *Code, DecodeUTF16(Dst.Text), true);
      }
    } else if (T.Text == "beginbfrange") {
      for (;;) {
        TToken Lo = Lexer.Next();
        if (IsSectionEnd(Lo)) break;
        if (!IsString(Lo)) continue;
        TToken Hi = Lexer.Next();
        if (IsSectionEnd(Hi)) break;
        if (!IsString(Hi)) continue;
        TToken Dst = Lexer.Next();
        if (IsSectionEnd(Dst)) break;
        const auto First = CodeValue(Lo.Text), Last = CodeValue(Hi.Text);
        if (Dst.Kind == TTokenKind::OpenArray) {
          // Each code of the range its own destination, in order.
          uint64_t Code = First ? *First : 0;
          for (TToken Item = Lexer.Next(); Item.Kind != TTokenKind::CloseArray && !IsSectionEnd(Item);
               Item = Lexer.Next()) {
            if (First && Last && Code <= *Last && IsString(Item))
              AddUnicode(static_cast<uint32_t>(Code), static_cast<uint32_t>(Code), DecodeUTF16(Item.Text));
            ++Code;
          }
          continue;
        }
        if (!First || !Last || *First > *Last || !IsString(Dst)) continue;
        AddUnicode(*First, *Last, DecodeUTF16(Dst.Text));
      }
    } else if (T.Text == "begincidchar" || T.Text == "begincidrange" || T.Text == "beginnotdefrange") {
      const bool Char = T.Text == "begincidchar";
      auto& Target = T.Text == "beginnotdefrange" ? NotdefRanges : CIDRanges;
      for (;;) {
        TToken Lo = Lexer.Next();
        if (IsSectionEnd(Lo)) break;
        if (!IsString(Lo)) continue;
        TToken Hi = Lo;
        if (!Char) {
          Hi = Lexer.Next();
          if (IsSectionEnd(Hi)) break;
          if (!IsString(Hi)) continue;
        }
        TToken CID = Lexer.Next();
        if (IsSectionEnd(CID)) break;
        const auto First = CodeValue(Lo.Text), Last = CodeValue(Hi.Text);
        const double Value = CID.Kind == TTokenKind::Number ? StrToNumber(CID.Text) : -1;
        if (!First || !Last || *First > *Last || !(Value >= 0 && Value <= 0xFFFFFFFF)) continue;
        Target.push_back({*First, *Last, static_cast<uint32_t>(Value), 0});
      }
    }
    Key.clear();
  }
  UnicodeRanges.insert(UnicodeRanges.end(), BfRanges.begin(), BfRanges.end());
  UnicodeRanges.insert(UnicodeRanges.end(), BfChars.begin(), BfChars.end());
}

void TPDFCMap::Inherit(std::shared_ptr<const TPDFCMap> Parent) {
  if (!Parent) return;
  for (const auto& R : Parent->Codespaces) Codespaces.push_back(R);
  FParents.push_back(std::move(Parent));
}

std::vector<TPDFCMap::TSpan> TPDFCMap::BuildSpans(const std::vector<TPDFCMapRange>& Ordered) {
  // Ranges that share no code (the predefined maps, most embedded ones) each
  // claim all their codes, whatever their order: then the spans are the
  // ranges sorted by first code.
  {
    std::vector<TSpan> Spans;
    Spans.reserve(Ordered.size());
    for (const TPDFCMapRange& E : Ordered)
      if (E.FirstCode <= E.LastCode) Spans.push_back({E.FirstCode, E.LastCode, E.FirstCode, E.Dest, E.Length});
    const auto ByFirst = [](const TSpan& A, const TSpan& B) { return A.First < B.First; };
    if (!std::is_sorted(Spans.begin(), Spans.end(), ByFirst)) std::sort(Spans.begin(), Spans.end(), ByFirst);
    if (std::adjacent_find(Spans.begin(), Spans.end(), [](const TSpan& A, const TSpan& B) {
          return B.First <= A.Last;
        }) == Spans.end())
      return Spans;
  }
  // Each range claims the codes of its span no earlier range claimed. The
  // claimed codes are kept as disjoint intervals; every range adds at most
  // one interval and merges away the ones it covers, so the whole costs
  // O(n log n).
  std::map<uint64_t, uint64_t> Claimed;  // first -> last
  std::vector<TSpan> Spans;
  for (const TPDFCMapRange& E : Ordered) {
    const uint64_t First = E.FirstCode, Last = E.LastCode;
    auto Span = [&](uint64_t From, uint64_t To) {
      Spans.push_back({static_cast<uint32_t>(From), static_cast<uint32_t>(To), E.FirstCode, E.Dest, E.Length});
    };
    if (First > Last) continue;
    auto It = Claimed.upper_bound(First);
    if (It != Claimed.begin()) {
      auto Before = std::prev(It);
      if (Before->second + 1 >= First) {
        // Joins the interval before it.
        It = Before;
      }
    }
    uint64_t Cursor = First;
    uint64_t MergedFirst = First, MergedLast = Last;
    while (It != Claimed.end() && It->first <= Last + 1) {
      if (It->first > Cursor) Span(Cursor, std::min(It->first - 1, Last));
      Cursor = std::max(Cursor, It->second + 1);
      MergedFirst = std::min(MergedFirst, It->first);
      MergedLast = std::max(MergedLast, It->second);
      It = Claimed.erase(It);
    }
    if (Cursor <= Last) Span(Cursor, Last);
    Claimed.emplace(MergedFirst, MergedLast);
  }
  std::sort(Spans.begin(), Spans.end(), [](const TSpan& A, const TSpan& B) { return A.First < B.First; });
  return Spans;
}

const TPDFCMap::TSpan* TPDFCMap::FindSpan(const std::vector<TSpan>& Spans, uint32_t Code) {
  auto It = std::upper_bound(Spans.begin(), Spans.end(), Code, [](uint32_t C, const TSpan& S) { return C < S.First; });
  if (It == Spans.begin()) return nullptr;
  --It;
  return Code <= It->Last ? &*It : nullptr;
}

void TPDFCMap::Finish() {
  // Unicode ranges: by FirstCode with an exchange sort, whose handling of
  // equal keys fixes which of them wins; with distinct keys (or a map too
  // large for quadratic work) a stable sort gives the same order.
  std::vector<size_t> Order(UnicodeRanges.size());
  for (size_t I = 0; I < Order.size(); ++I) Order[I] = I;
  auto Key = [&](size_t I) { return UnicodeRanges[I].FirstCode; };
  std::stable_sort(Order.begin(), Order.end(), [&](size_t A, size_t B) { return Key(A) < Key(B); });
  const bool Ties = std::adjacent_find(Order.begin(), Order.end(),
                                       [&](size_t A, size_t B) { return Key(A) == Key(B); }) != Order.end();
  constexpr size_t ExactLimit = 5000;
  if (Ties && Order.size() <= ExactLimit) {
    for (size_t I = 0; I < Order.size(); ++I) Order[I] = I;
    for (size_t I = 0; I + 1 < Order.size(); ++I)
      for (size_t J = I + 1; J < Order.size(); ++J)
        if (Key(Order[J]) < Key(Order[I])) std::swap(Order[I], Order[J]);
  }
  FPool = Pool;
  FUnicodeOrder.clear();
  for (size_t I : Order) FUnicodeOrder.push_back(UnicodeRanges[I]);
  // CID ranges: a later definition overrides an earlier one.
  FCIDOrder.assign(CIDRanges.rbegin(), CIDRanges.rend());
  FNotdefOrder.assign(NotdefRanges.rbegin(), NotdefRanges.rend());
  for (const auto& Parent : FParents) {
    const auto Offset = static_cast<uint32_t>(FPool.size());
    FPool += Parent->FPool;
    for (TPDFCMapRange R : Parent->FUnicodeOrder) {
      R.Dest += Offset;
      FUnicodeOrder.push_back(R);
    }
    FCIDOrder.insert(FCIDOrder.end(), Parent->FCIDOrder.begin(), Parent->FCIDOrder.end());
    FNotdefOrder.insert(FNotdefOrder.end(), Parent->FNotdefOrder.begin(), Parent->FNotdefOrder.end());
  }
  FUnicodeSpans = BuildSpans(FUnicodeOrder);
  FCIDSpans = BuildSpans(FCIDOrder);
  FNotdefSpans = BuildSpans(FNotdefOrder);

  FLengthsByFirstByte.fill(0);
  FShortest = Codespaces.empty() ? 1 : 4;
  for (const auto& R : Codespaces) {
    FShortest = std::min(FShortest, R.Bytes);
    for (unsigned B = R.Low[0]; B <= R.High[0]; ++B) FLengthsByFirstByte[B] |= static_cast<uint8_t>(1u << (R.Bytes - 1));
  }
}

bool TPDFCMap::NextCode(std::string_view Bytes, size_t& Pos, uint32_t& Code) const {
  if (Pos >= Bytes.size()) return false;
  auto ByteAt = [&](size_t I) { return static_cast<uint8_t>(Bytes[I]); };
  const uint8_t Lengths = Codespaces.empty() ? 1 : FLengthsByFirstByte[ByteAt(Pos)];
  size_t Length = 0;
  for (uint8_t N = 1; N <= 4 && !Length; ++N) {
    if (!(Lengths & (1u << (N - 1))) || Pos + N > Bytes.size()) continue;
    for (const auto& R : Codespaces) {
      if (R.Bytes != N) continue;
      bool Inside = true;
      for (size_t I = 0; I < N && Inside; ++I) Inside = ByteAt(Pos + I) >= R.Low[I] && ByteAt(Pos + I) <= R.High[I];
      if (Inside) {
        Length = N;
        break;
      }
    }
  }
  if (!Length) {
    // Outside the codespace: as long as the shortest code its first byte
    // could open, else the shortest code of all.
    Length = FShortest;
    for (uint8_t N = 1; N <= 4; ++N)
      if (Lengths & (1u << (N - 1))) {
        Length = N;
        break;
      }
  }
  if (Pos + Length > Bytes.size()) {
    Pos = Bytes.size();
    return false;
  }
  Code = 0;
  for (size_t I = 0; I < Length; ++I) Code = Code << 8 | ByteAt(Pos + I);
  Pos += Length;
  return true;
}

bool TPDFCMap::Lookup(uint32_t Code, std::u32string& Out) const {
  const TSpan* S = FindSpan(FUnicodeSpans, Code);
  if (!S) return false;
  if (S->Length == 0) return true;
  Out.append(FPool, S->Dest, S->Length);
  Out.back() = static_cast<char32_t>(Out.back() + (Code - S->RangeFirst));
  return true;
}

std::optional<uint32_t> TPDFCMap::LookupCID(uint32_t Code) const {
  if (const TSpan* S = FindSpan(FCIDSpans, Code)) return S->Dest + (Code - S->RangeFirst);
  if (const TSpan* S = FindSpan(FNotdefSpans, Code)) return S->Dest;
  return std::nullopt;
}

TPDFCMap ParseToUnicode(std::string_view Text) {
  TPDFCMap Map;
  Map.Parse(Text);
  if (!Map.HasCodespace()) return TPDFCMap();
  // Code 0 as a bfchar source, and U+0000 as a destination, map nothing.
  std::vector<TPDFCMapRange> Kept;
  Kept.reserve(Map.UnicodeRanges.size());
  for (const auto& R : Map.UnicodeRanges) {
    const bool Single = R.FirstCode == R.LastCode;
    if (Single && R.FirstCode == 0) continue;
    if (R.Length == 1 && Map.Pool[R.Dest] == 0 && Single) continue;
    Kept.push_back(R);
  }
  Map.UnicodeRanges = std::move(Kept);
  Map.CIDRanges.clear();
  Map.NotdefRanges.clear();
  Map.Finish();
  return Map;
}

// ================================================================ TPDFCMapStore

namespace {

// usecmap chains are followed this deep (the predefined ones are one or two
// links long).
constexpr int MaxUseCMapDepth = 8;

}  // namespace

bool IsIdentityCMapName(std::string_view Name) { return Name == "Identity-H" || Name == "Identity-V"; }

TPDFCMapStore& TPDFCMapStore::Installed() {
  static TPDFCMapStore Store(TResourceData::Installed());
  return Store;
}

TPDFCMapStore::TPDFCMapStore(const TResourceData& Data) : FData(Data) {}

std::shared_ptr<const TPDFCMap> TPDFCMapStore::Find(std::string_view Name) {
  if (Name.empty() || IsIdentityCMapName(Name)) return nullptr;
  std::lock_guard<std::recursive_mutex> Guard(FLock);
  return Load(std::string(Name), 0);
}

std::shared_ptr<const TPDFCMap> TPDFCMapStore::CIDToUnicode(std::string_view Registry, std::string_view Ordering) {
  if (Registry != "Adobe" || Ordering.empty() || Ordering == "Identity") return nullptr;
  return Find(std::string(Registry) + "-" + std::string(Ordering) + "-UCS2");
}

std::shared_ptr<const TPDFCMap> TPDFCMapStore::Load(const std::string& Name, int Depth) {
  if (auto It = FMaps.find(Name); It != FMaps.end()) return It->second;
  std::shared_ptr<const TPDFCMap> Result;
  if (Depth <= MaxUseCMapDepth) {
    FMaps[Name] = nullptr;  // a usecmap loop back to this name finds nothing
    std::string Collection;
    if (auto Bytes = FData.CMapFile(Name, &Collection)) {
      auto Map = std::make_shared<TPDFCMap>();
      Map->Parse(*Bytes);
      if (!Map->UseCMap.empty() && Map->UseCMap != Name) Map->Inherit(Load(Map->UseCMap, Depth + 1));
      Map->Finish();
      Result = std::move(Map);
    }
  }
  FMaps[Name] = Result;
  return Result;
}
