// The Markdown form of a document.
#include "Markdown.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "uPDFExtra.h"

namespace {

// Font sizes are kept in half points, so that 10 and 10.02 count as one.
using TSize = uint16_t;

// Thresholds.
constexpr int HeadingRatio = 115;         // percent of the body size: a heading's font
constexpr int BoldHeadingRatio = 104;     // the same for a heading wholly in bold
constexpr int BodyRatio = 90;             // a line this near the body size may head its paragraph
constexpr int SameLevel = 104;            // percent: heading sizes this near share a level
constexpr size_t MaxHeadingLines = 3;
constexpr size_t MaxHeadingWords = 20;
constexpr size_t MaxCapsHeadingWords = 12;
constexpr size_t EdgeLines = 2;           // lines at a page's top and its bottom checked for running heads
constexpr size_t MaxEdgeKey = 200;        // bytes of a line's text kept for that
constexpr size_t MaxListDepth = 8;
constexpr size_t MaxTableColumns = 200;   // cells past these join the last one
constexpr size_t MaxLineSizes = 16;       // distinct sizes counted in a line

// Styles of words; those after italic are not marked, only told.
enum : uint8_t {
  StyleBold = 1,
  StyleItalic = 2,
  StyleCaps = 4,  // small capitals
  StyleSans = 8,  // sans serif
  StyleMono = 16  // typewriter
};
enum : uint8_t {
  LineParagraph = 1,   // starts a paragraph other than its block's first
  LineLevel = 2,       // runs left to right (not turned)
  LineEdge = 4,        // among the top or bottom lines of its page
  LinePageNumber = 8,  // an edge line that is only a page number
};

TSize SizeKey(double Size) {
  if (!(Size > 0) || !std::isfinite(Size)) return 0;
  return static_cast<TSize>(std::min(std::lround(std::min(Size, 30000.0) * 2), 65535L));
}

float Coordinate(double V) {
  if (!std::isfinite(V)) return 0;
  return static_cast<float>(std::clamp(V, -1e30, 1e30));
}

bool IsDigit(unsigned char C) { return C >= '0' && C <= '9'; }
bool IsUpper(unsigned char C) { return C >= 'A' && C <= 'Z'; }
bool IsLower(unsigned char C) { return C >= 'a' && C <= 'z'; }
bool IsAsciiLetter(unsigned char C) { return IsUpper(C) || IsLower(C); }
// Letters and digits, and any byte of a character past ASCII.
bool IsWordByte(unsigned char C) { return IsDigit(C) || IsAsciiLetter(C) || C >= 0x80; }
bool IsAsciiPunct(unsigned char C) { return C > 0x20 && C < 0x7F && !IsDigit(C) && !IsAsciiLetter(C); }

size_t CharCount(std::string_view Text) {
  size_t N = 0;
  for (unsigned char C : Text) N += (C & 0xC0) != 0x80;
  return N;
}

// The code point at Text[At] and its length (U+FFFD for a byte that is no
// UTF-8).
uint32_t CodePoint(std::string_view Text, size_t At, size_t& Length) {
  Length = UTF8CharLength(Text, At);
  const auto Byte = [&](size_t I) { return static_cast<unsigned char>(Text[At + I]); };
  switch (Length) {
    case 1: return Byte(0);
    case 2: return (Byte(0) & 0x1Fu) << 6 | (Byte(1) & 0x3Fu);
    case 3: return (Byte(0) & 0x0Fu) << 12 | (Byte(1) & 0x3Fu) << 6 | (Byte(2) & 0x3Fu);
    case 4: return (Byte(0) & 0x07u) << 18 | (Byte(1) & 0x3Fu) << 12 | (Byte(2) & 0x3Fu) << 6 | (Byte(3) & 0x3Fu);
    default: Length = 1; return 0xFFFD;
  }
}

// Whether a character is part of a word: a letter or digit of ASCII, or a
// character past it other than spaces, punctuation, signs and symbols
// (bullets, arrows, the operators of mathematics, CJK punctuation, the
// private use area).
bool IsWordCode(uint32_t C) {
  if (C < 0x80) return IsDigit(static_cast<unsigned char>(C)) || IsAsciiLetter(static_cast<unsigned char>(C));
  if (C < 0xC0 || C == 0xD7 || C == 0xF7) return false;
  if ((C >= 0x2000 && C <= 0x2BFF) || (C >= 0x3000 && C <= 0x303F) || (C >= 0xE000 && C <= 0xF8FF) ||
      (C >= 0xFE30 && C <= 0xFE4F) || (C >= 0xFF00 && C <= 0xFF0F) || C >= 0xFFF0)
    return false;
  return true;
}

// Whether Text has a character of a word (Letters: other than a digit).
bool HasWordChar(std::string_view Text, bool Letters = false) {
  for (size_t I = 0, Length; I < Text.size(); I += Length) {
    const uint32_t C = CodePoint(Text, I, Length);
    if (IsWordCode(C) && !(Letters && C < 0x80 && IsDigit(static_cast<unsigned char>(C)))) return true;
  }
  return false;
}

bool StartsWord(std::string_view Text) {
  size_t Length;
  return !Text.empty() && IsWordCode(CodePoint(Text, 0, Length));
}

// Text without the ASCII punctuation around it ("(data-base)," is
// "data-base").
std::string_view StripLeft(std::string_view Text) {
  while (!Text.empty() && !IsWordByte(static_cast<unsigned char>(Text.front()))) Text.remove_prefix(1);
  return Text;
}
std::string_view StripRight(std::string_view Text) {
  while (!Text.empty() && !IsWordByte(static_cast<unsigned char>(Text.back()))) Text.remove_suffix(1);
  return Text;
}

void AppendLower(std::string& Out, std::string_view Text) {
  for (char C : Text) Out += IsUpper(static_cast<unsigned char>(C)) ? static_cast<char>(C - 'A' + 'a') : C;
}

// The hyphen that cuts a word at a line end: "-" and U+2010.
size_t HyphenAtEnd(std::string_view Text) {
  if (Text.size() >= 1 && Text.back() == '-') return 1;
  if (Text.size() >= 3 && Text.substr(Text.size() - 3) == "\xE2\x80\x90") return 3;
  return 0;
}
constexpr std::string_view SoftHyphen = "\xC2\xAD";

bool EndsWith(std::string_view Text, std::string_view End) {
  return Text.size() >= End.size() && Text.substr(Text.size() - End.size()) == End;
}

// Whether Text is only a page number: "12", "- 12 -", "[12]", "Page 12",
// "p. 12", "12 of 40", "12/40", "xii".
bool PageNumberText(std::string_view Text) {
  static constexpr std::string_view Around[] = {" ", "-", "\xE2\x80\x93", "\xE2\x80\x94", "(", ")", "[", "]", "|", "."};
  bool Changed = true;
  while (Changed && !Text.empty()) {
    Changed = false;
    for (std::string_view A : Around) {
      if (Text.substr(0, A.size()) == A) {
        Text.remove_prefix(A.size());
        Changed = true;
      }
      if (EndsWith(Text, A)) {
        Text.remove_suffix(A.size());
        Changed = true;
      }
    }
  }
  std::string_view T = Text;
  for (std::string_view Prefix : {"page ", "Page ", "PAGE ", "p. ", "p.", "Seite "})
    if (T.substr(0, Prefix.size()) == Prefix) {
      T.remove_prefix(Prefix.size());
      break;
    }
  // A number: digits, or a roman numeral's small letters (a capital C or L
  // heads a letter's part of an index).
  const auto Number = [](std::string_view& S) {
    size_t N = 0;
    while (N < S.size() && IsDigit(static_cast<unsigned char>(S[N]))) ++N;
    if (N == 0)
      while (N < S.size() && std::strchr("ivxlcdm", S[N]) && S[N]) ++N;
    if (N == 0 || N > 7) return false;
    S.remove_prefix(N);
    return true;
  };
  if (!Number(T)) return false;
  while (!T.empty() && T.front() == ' ') T.remove_prefix(1);
  if (T.empty()) return true;
  if (T.substr(0, 2) == "of" || T.substr(0, 3) == "von") T.remove_prefix(T[0] == 'o' ? 2 : 3);
  else if (T.front() == '/') T.remove_prefix(1);
  else return false;
  while (!T.empty() && T.front() == ' ') T.remove_prefix(1);
  return Number(T) && T.empty();
}

// A list item's marker at the start of a line's first word.
struct TMarker {
  enum TKind : uint8_t { None, Bullet, Number, Label } Kind = None;
  std::string Digits;  // a numbered item's number
  size_t Rest = 0;     // where the first word's text starts after a glued bullet
};

TMarker ListMarker(std::string_view First) {
  TMarker M;
  // A dash, a hyphen or an asterisk is a bullet only as a word of its own
  // (else "-5", "--help"); the signs that are nothing but bullets also glued
  // to the text.
  static constexpr std::string_view Alone[] = {"-", "*", "\xE2\x80\x93", "\xE2\x80\x94"};
  static constexpr std::string_view Bullets[] = {
      "\xE2\x80\xA2",  // • bullet
      "\xE2\x97\xA6",  // ◦ white bullet
      "\xE2\x96\xAA",  // ▪ small black square
      "\xE2\x80\xA3",  // ‣ triangular bullet
      "\xC2\xB7",      // · middle dot
      "\xE2\x88\x99",  // ∙ bullet operator (TeX's bullet)
      "\xE2\x88\x97",  // ∗ asterisk operator (TeX's third level)
      "\xE2\x97\x8F",  // ● black circle
      "\xE2\x97\x8B",  // ○ white circle
      "\xE2\x96\xA0",  // ■ black square
      "\xE2\x96\xA1",  // □ white square
      "\xE2\x96\xBA",  // ► black right-pointing pointer
      "\xE2\x96\xB8",  // ▸ small right-pointing triangle
      "\xE2\x81\x83",  // ⁃ hyphen bullet
  };
  for (std::string_view A : Alone)
    if (First == A) {
      M.Kind = TMarker::Bullet;
      M.Rest = First.size();
      return M;
    }
  for (std::string_view B : Bullets)
    if (First.substr(0, B.size()) == B) {
      M.Kind = TMarker::Bullet;
      M.Rest = B.size();
      return M;
    }
  // "1." "2)" "(a)" "(iv)" "a." "b)" "iv." "A)": the label and its closing.
  if (First.size() < 2) return M;
  const char Close = First.back();
  std::string_view Label = First.substr(0, First.size() - 1);
  const bool Parens = Close == ')' && Label.front() == '(';
  if (Parens) Label.remove_prefix(1);
  if (Label.empty() || (Close != '.' && Close != ')')) return M;
  const auto All = [&](auto Test) {
    return std::all_of(Label.begin(), Label.end(), [&](char C) { return Test(static_cast<unsigned char>(C)); });
  };
  if (All(IsDigit) && Label.size() <= 3) {
    M.Kind = Parens ? TMarker::Label : TMarker::Number;
    M.Digits = Label;
  } else if (Label.size() == 1 && (IsLower(static_cast<unsigned char>(Label[0])) ||
                                   (IsUpper(static_cast<unsigned char>(Label[0])) && Close == ')'))) {
    // A capital with a full stop is more often an initial ("A. Smith").
    M.Kind = TMarker::Label;
  } else if (Label.size() <= 6 && All([](unsigned char C) { return C && std::strchr("ivxlcdm", C); })) {
    M.Kind = TMarker::Label;
  } else if (Parens && Label.size() <= 6 && All([](unsigned char C) { return C && std::strchr("IVXLCDM", C); })) {
    M.Kind = TMarker::Label;
  }
  if (M.Kind != TMarker::None) M.Rest = First.size();
  return M;
}

// Whether a word is a section's number: parts of digits, a capital or a
// roman numeral in capitals, between full stops ("2", "3.1", "A", "A.2.",
// "IV.").
bool SectionNumber(std::string_view Text) {
  if (!Text.empty() && Text.back() == '.') Text.remove_suffix(1);
  if (Text.empty() || Text.size() > 12) return false;
  for (size_t From = 0; From <= Text.size();) {
    size_t To = Text.find('.', From);
    if (To == std::string_view::npos) To = Text.size();
    const std::string_view Part = Text.substr(From, To - From);
    const auto All = [&](auto Test) {
      return std::all_of(Part.begin(), Part.end(), [&](char C) { return Test(static_cast<unsigned char>(C)); });
    };
    const bool Roman = Part.size() <= 4 && All([](unsigned char C) { return C && std::strchr("IVXL", C); });
    if (Part.empty() || !((Part.size() <= 3 && All(IsDigit)) || (Part.size() == 1 && IsUpper(Part[0])) || Roman))
      return false;
    From = To + 1;
  }
  return true;
}

// What a font's name says beside bold and italic: small capitals (cmcsc10,
// LMRomanCaps10, Minion-SmallCaps, cm-super's sfcc1000), sans serif
// (Helvetica, Arial, LMSans10, cmss10, NimbusSanL, LinBiolinumT),
// typewriter (Courier, cmtt10, LMMono10, Inconsolata, DejaVuSansMono).
uint8_t FontFlags(std::string_view Font) {
  std::string Name;
  AppendLower(Name, Font);
  const auto Has = [&](std::string_view Part) { return Name.find(Part) != std::string::npos; };
  const auto Starts = [&](std::string_view Part) { return Name.compare(0, Part.size(), Part) == 0; };
  uint8_t Flags = 0;
  if (Has("csc") || Has("caps") || Has("smcp") || Starts("sfcc") || Starts("eccc")) Flags |= StyleCaps;
  for (std::string_view Part : {"sans", "helvet", "arial", "biolinum", "nimbussan", "heros", "verdana", "tahoma",
                                "calibri", "segoe", "roboto", "frutiger", "univers", "futura", "myriad", "avantg"})
    if (Has(Part)) Flags |= StyleSans;
  for (std::string_view Part : {"cmss", "lmss", "ecss", "ecsx", "ecsi", "sfss", "sfsx", "sfsi"})
    if (Starts(Part)) Flags |= StyleSans;
  for (std::string_view Part : {"mono", "courier", "typewriter", "inconsolata", "consola", "menlo", "txtt", "cmvtt"})
    if (Has(Part)) Flags |= StyleMono;
  for (std::string_view Part : {"cmtt", "cmsltt", "cmitt", "lmtt", "ectt", "sftt", "pcr"})
    if (Starts(Part)) Flags |= StyleMono;
  if (Flags & StyleMono) Flags &= static_cast<uint8_t>(~StyleSans);
  return Flags;
}

}  // namespace

// ---------------------------------------------------------------------------
// The pages as kept

struct TMarkdownWriter::TData {
  // A word: its text (in the page's Text), horizontal extent, size and style.
  struct TWord {
    uint32_t Start, Length;
    float X0, X1;
    TSize Size;
    uint8_t Style;
  };
  struct TLine {
    uint32_t FirstWord, WordCount;
    float X0, Y0, X1, Y1;
    uint8_t Flags;
    int32_t Edge;  // the running-head key of an edge line, or -1
  };
  struct TBlock {
    bool Table, Margin;
    float X0, X1;
    uint32_t FirstLine, LineCount;  // text blocks
    uint32_t FirstRow, RowCount;    // tables
  };
  struct TRange {
    uint32_t Start, Count;
  };
  struct TPage {
    int32_t Number;
    std::string Text;
    std::vector<TWord> Words;
    std::vector<TLine> Lines;
    std::vector<TBlock> Blocks;
    std::vector<TRange> Rows;   // ranges of Cells
    std::vector<TRange> Cells;  // ranges of Text
    std::string_view WordText(const TWord& W) const { return std::string_view(Text).substr(W.Start, W.Length); }
  };
  // Characters of the body text (not heads and feet) by size: all, bold,
  // italic and sans serif.
  struct TSizeCount {
    uint64_t All = 0, Bold = 0, Italic = 0, Sans = 0;
  };

  std::vector<TPage> Pages;
  std::unordered_map<TSize, TSizeCount> Sizes;
  // FontFlags by font name.
  std::unordered_map<std::string, uint8_t> FontFlagsSeen;
  uint8_t Flags(const std::string& Font) {
    auto It = FontFlagsSeen.find(Font);
    if (It == FontFlagsSeen.end()) It = FontFlagsSeen.emplace(Font, FontFlags(Font)).first;
    return It->second;
  }
  // The document's words with a hyphen inside, lower case, without the
  // punctuation around them.
  std::unordered_set<std::string> Hyphenated;
  // Texts of edge lines (lower case, digits as #, after "t" or "b" for the
  // top or the bottom and the size) and the pages that have each.
  std::unordered_map<std::string, int32_t> EdgeIds;
  std::vector<uint32_t> EdgePages;
  std::vector<int32_t> EdgeLastPage;

  void Add(TReadingPage&& Source);
  std::string Write(bool PageMarks) const;
};

void TMarkdownWriter::TData::Add(TReadingPage&& Source) {
  TPage Page;
  Page.Number = Source.Number > 0 ? Source.Number : static_cast<int32_t>(Pages.size() + 1);
  const int32_t Ordinal = static_cast<int32_t>(Pages.size());
  const auto AddText = [&](std::string_view Text) {
    const auto Start = static_cast<uint32_t>(Page.Text.size());
    Page.Text += Text;
    return TRange{Start, static_cast<uint32_t>(Text.size())};
  };
  std::vector<uint32_t> Level;  // the level lines of text blocks
  for (TReadingBlock& B : Source.Blocks) {
    TBlock Block{B.Kind == TReadingBlockKind::Table, B.Margin, Coordinate(B.X0), Coordinate(B.X1), 0, 0, 0, 0};
    for (const TReadingLine& L : B.Lines) {
      const size_t Last = L.Words.size();
      for (size_t W = 0; W < Last; ++W) {
        const TReadingWord& Word = L.Words[W];
        if (B.Margin) continue;
        TSizeCount& Count = Sizes[SizeKey(Word.Size)];
        const size_t Chars = CharCount(Word.Text);
        Count.All += Chars;
        if (Word.Bold) Count.Bold += Chars;
        if (Word.Italic) Count.Italic += Chars;
        if (Flags(Word.Font) & StyleSans) Count.Sans += Chars;
        // A word with a hyphen inside; not the hyphen that cuts a line's
        // last word.
        const std::string_view Inner = StripLeft(StripRight(Word.Text));
        if (Inner.find('-') != std::string_view::npos && (W + 1 < Last || !HyphenAtEnd(Word.Text))) {
          std::string Key;
          AppendLower(Key, Inner);
          Hyphenated.insert(std::move(Key));
        }
      }
    }
    if (Block.Table) {
      Block.FirstRow = static_cast<uint32_t>(Page.Rows.size());
      for (const auto& Row : B.Rows) {
        Page.Rows.push_back({static_cast<uint32_t>(Page.Cells.size()), static_cast<uint32_t>(Row.size())});
        for (const std::string& Cell : Row) Page.Cells.push_back(AddText(Cell));
      }
      Block.RowCount = static_cast<uint32_t>(B.Rows.size());
      Page.Blocks.push_back(Block);
      continue;
    }
    Block.FirstLine = static_cast<uint32_t>(Page.Lines.size());
    for (const TReadingLine& L : B.Lines) {
      TLine Line{static_cast<uint32_t>(Page.Words.size()), static_cast<uint32_t>(L.Words.size()),
                 Coordinate(L.X0), Coordinate(L.Y0), Coordinate(L.X1), Coordinate(L.Y1), 0, -1};
      if (L.ParagraphStart) Line.Flags |= LineParagraph;
      if (std::fabs(L.DirY) < 0.1 && L.DirX > 0.9) Line.Flags |= LineLevel;
      for (const TReadingWord& W : L.Words) {
        const TRange R = AddText(W.Text);
        Page.Words.push_back({R.Start, R.Count, Coordinate(W.X0), Coordinate(W.X1), SizeKey(W.Size),
                              static_cast<uint8_t>((W.Bold ? StyleBold : 0) | (W.Italic ? StyleItalic : 0) |
                                                   Flags(W.Font))});
      }
      if ((Line.Flags & LineLevel) && Line.WordCount) Level.push_back(static_cast<uint32_t>(Page.Lines.size()));
      Page.Lines.push_back(Line);
    }
    Block.LineCount = static_cast<uint32_t>(Page.Lines.size()) - Block.FirstLine;
    Page.Blocks.push_back(Block);
  }
  // The top and bottom lines of the page: keys of their text, counted once
  // a page.
  const auto Mark = [&](bool Top) {
    const size_t N = std::min(EdgeLines, Level.size());
    std::partial_sort(Level.begin(), Level.begin() + static_cast<std::ptrdiff_t>(N), Level.end(),
                      [&](uint32_t A, uint32_t B) {
                        return Top ? Page.Lines[A].Y0 < Page.Lines[B].Y0 : Page.Lines[A].Y1 > Page.Lines[B].Y1;
                      });
    for (size_t K = 0; K < N; ++K) {
      TLine& Line = Page.Lines[Level[K]];
      if (Line.Flags & LineEdge) continue;
      Line.Flags |= LineEdge;
      // The key: the edge, the size of the line's longest word (a title
      // that a running head repeats in a smaller size is not that head),
      // the text.
      std::string Text, Key = Top ? "t" : "b";
      TSize Size = 0;
      uint32_t Longest = 0;
      for (uint32_t W = 0; W < Line.WordCount && Text.size() <= MaxEdgeKey; ++W) {
        const TWord& Word = Page.Words[Line.FirstWord + W];
        if (W) Text += ' ';
        Text += Page.WordText(Word);
        if (Word.Length > Longest) {
          Longest = Word.Length;
          Size = Word.Size;
        }
      }
      Key += std::to_string(Size) + ':';
      if (PageNumberText(Text)) Line.Flags |= LinePageNumber;
      if (Text.size() > MaxEdgeKey) continue;
      for (char C : Text) {
        const auto B = static_cast<unsigned char>(C);
        Key += IsDigit(B) ? '#' : IsUpper(B) ? static_cast<char>(C - 'A' + 'a') : C;
      }
      auto [It, New] = EdgeIds.try_emplace(std::move(Key), static_cast<int32_t>(EdgePages.size()));
      if (New) {
        EdgePages.push_back(0);
        EdgeLastPage.push_back(-1);
      }
      Line.Edge = It->second;
      if (EdgeLastPage[It->second] != Ordinal) {
        EdgeLastPage[It->second] = Ordinal;
        ++EdgePages[It->second];
      }
    }
  };
  Mark(true);
  Mark(false);
  Pages.push_back(std::move(Page));
}

// ---------------------------------------------------------------------------
// From pages to Markdown

namespace {

using TData = TMarkdownWriter::TData;

// A piece of text the Markdown is written from: a word (or words joined at a
// hyphen) with its style.
struct TToken {
  std::string Text;
  uint8_t Style;
};

struct TElement {
  enum TKind : uint8_t { Heading, Paragraph, Item, Table } Kind;
  explicit TElement(TKind Kind) : Kind(Kind) {}
  TSize Size = 0;            // a heading's font size; 0 for a bold one
  std::string Indent;        // items, and paragraphs within items
  std::string Marker;        // items: "-" or "N."
  std::vector<TToken> Tokens;
  const TData::TPage* Page = nullptr;  // tables: the page and the block
  uint32_t Block = 0;
  float Y0 = 0, Y1 = 0;  // the extent of its first line
};

// What Finish decides over the whole document.
struct TDocument {
  TSize Body = 0;
  uint8_t Norm = 0;  // styles most of the body has, not marked
  std::vector<uint8_t> RepeatedEdge;  // by edge key
  const std::unordered_set<std::string>* Hyphenated = nullptr;
  std::vector<std::pair<TSize, int>> Levels;  // heading sizes, largest first, and their levels
  int BoldLevel = 1;

  int LevelOf(TSize Size) const {
    const auto It = std::lower_bound(Levels.begin(), Levels.end(), Size,
                                     [](const std::pair<TSize, int>& L, TSize S) { return L.first > S; });
    return It != Levels.end() && It->first == Size ? It->second : 3;
  }
};

// Appends Next to the words so far, the first word of a line: joined with a
// word cut by a hyphen at the end of the line before.
void AppendLineStart(std::vector<TToken>& Tokens, TToken Next, const TDocument& Doc) {
  if (Tokens.empty()) {
    Tokens.push_back(std::move(Next));
    return;
  }
  std::string& Last = Tokens.back().Text;
  if (EndsWith(Last, SoftHyphen)) {
    Last.resize(Last.size() - SoftHyphen.size());
    Last += Next.Text;
    return;
  }
  const size_t Hyphen = HyphenAtEnd(Last);
  const std::string_view Stem = std::string_view(Last).substr(0, Last.size() - Hyphen);
  if (!Hyphen || Stem.empty() || Next.Text.empty() || !IsWordByte(static_cast<unsigned char>(Stem.back()))) {
    Tokens.push_back(std::move(Next));
    return;
  }
  const auto First = static_cast<unsigned char>(Next.Text.front());
  // After a digit ("1990-2000"), before a capital ("Franco-German") or
  // anything but a letter, the hyphen stays; between letters it goes,
  // unless the document has the word with it elsewhere.
  bool Keep = IsDigit(static_cast<unsigned char>(Stem.back())) || !(IsLower(First) || First >= 0x80);
  if (!Keep) {
    std::string Key;
    AppendLower(Key, StripLeft(Stem));
    Key += '-';
    AppendLower(Key, StripRight(Next.Text));
    Keep = Doc.Hyphenated->count(Key) > 0;
  }
  if (!Keep) Last.resize(Stem.size());
  Last += Next.Text;
}

// Appends Text escaped so that Markdown shows it as text: as a line's start
// (LineStart), in a table's cell (Table). Bytes that are no UTF-8 are
// U+FFFD, control characters spaces.
void AppendEscaped(std::string& Out, std::string_view Text, bool LineStart, bool Table) {
  // At a line's start: what would open a heading, a quote, a list, a rule
  // or a link's definition.
  size_t Skip = 0;  // the bytes written by the line's rules
  if (LineStart && !Text.empty()) {
    const char C = Text.front();
    const bool Dashes = Text.find_first_not_of(C) == std::string_view::npos;
    if (C == '#' || C == '>' || ((C == '-' || C == '+' || C == '=') && (Text.size() == 1 || Dashes)) ||
        (C == '[' && Text.find("]:") != std::string_view::npos)) {
      Out += '\\';
      Out += C;
      Skip = 1;
    } else {
      size_t N = 0;
      while (N < Text.size() && IsDigit(static_cast<unsigned char>(Text[N]))) ++N;
      if (N > 0 && N <= 9 && N + 1 == Text.size() && (Text[N] == '.' || Text[N] == ')')) {
        Out.append(Text.substr(0, N));
        Out += '\\';
        Out += Text[N];
        Skip = N + 1;
      }
    }
  }
  const auto Byte = [&](size_t I) { return I < Text.size() ? static_cast<unsigned char>(Text[I]) : 0; };
  for (size_t I = Skip; I < Text.size();) {
    const unsigned char C = Byte(I);
    if (C >= 0x80) {
      I += AppendUTF8Char(Out, Text, I);
      continue;
    }
    ++I;
    if (C < 0x20 || C == 0x7F) {
      Out += ' ';
      continue;
    }
    bool Escape = false;
    switch (C) {
      case '*':
      case '`':
        Escape = true;
        break;
      case '\\':
        Escape = IsAsciiPunct(Byte(I));
        break;
      case '_':  // inside a word it is no emphasis
        Escape = !(I >= 2 && IsWordByte(Byte(I - 2)) && IsWordByte(Byte(I)));
        break;
      case '<':  // a tag or an address
        Escape = IsAsciiLetter(Byte(I)) || Byte(I) == '/' || Byte(I) == '!' || Byte(I) == '?';
        break;
      case ']':  // a link's text ends so
        Escape = Byte(I) == '(' || Byte(I) == '[';
        break;
      case '~':
        Escape = Byte(I) == '~' || (I >= 2 && Byte(I - 2) == '~');
        break;
      case '|':
        Escape = Table;
        break;
      case '&': {  // an entity: &name; or &#123;
        size_t J = I;
        while (J < Text.size() && (IsDigit(Byte(J)) || IsAsciiLetter(Byte(J)) || Byte(J) == '#')) ++J;
        Escape = J > I && Byte(J) == ';';
        break;
      }
      default:
        break;
    }
    if (Escape) Out += '\\';
    Out += static_cast<char>(C);
  }
}

// Words as Markdown text: runs of bold and italic words marked (Emphasis),
// the first escaped as a line's start (LineStart).
void AppendTokens(std::string& Out, const std::vector<TToken>& Tokens, const TDocument& Doc, bool Emphasis,
                  bool LineStart) {
  for (size_t I = 0; I < Tokens.size();) {
    const auto Marked = [&](size_t K) {
      return Emphasis ? Tokens[K].Style & (StyleBold | StyleItalic) & ~Doc.Norm : 0;
    };
    const int Style = Marked(I);
    size_t J = I;
    bool Word = false;
    while (J < Tokens.size() && Marked(J) == Style) {
      Word = Word || HasWordChar(Tokens[J].Text);
      ++J;
    }
    const char* Open = !Style || !Word ? "" : Style == StyleBold ? "**" : Style == StyleItalic ? "_" : "**_";
    const char* Close = !Style || !Word ? "" : Style == StyleBold ? "**" : Style == StyleItalic ? "_" : "_**";
    if (I) Out += ' ';
    Out += Open;
    for (size_t K = I; K < J; ++K) {
      if (K > I) Out += ' ';
      AppendEscaped(Out, Tokens[K].Text, LineStart && K == 0 && !*Open, false);
    }
    Out += Close;
    I = J;
  }
}

// The facts of a line that make a heading.
struct TLineFacts {
  TSize Size = 0;  // the size of most of its characters
  // All its words bold; all in small capitals, or in capitals alone; all
  // sans serif; all typewriter (code).
  bool AllBold = false, AllCaps = false, AllSans = false, AllMono = false, Letters = false;
  // Opens with a section's number of two parts or more ("2.1"), the rest
  // in italic.
  bool NumberedItalic = false;
  // An entry of a table of contents: leaders (a word of dots, or three
  // dots in a row) and a page number last.
  bool Entry = false;
};

TLineFacts LineFacts(const TData::TPage& Page, const TData::TLine& Line) {
  TLineFacts F;
  std::pair<TSize, size_t> Counts[MaxLineSizes];
  size_t Distinct = 0;
  bool Bold = true, Caps = true, Sans = true, Mono = true, Italic = true, Numbered = false, Any = false,
       Leaders = false;
  size_t Upper = 0, Lower = 0;
  size_t Dots = 0;
  for (uint32_t W = 0; W < Line.WordCount; ++W) {
    const TData::TWord& Word = Page.Words[Line.FirstWord + W];
    const std::string_view Text = Page.WordText(Word);
    const bool AllDots = Text.find_first_not_of('.') == std::string_view::npos;
    Dots = AllDots ? Dots + Text.size() : 0;
    Leaders = Leaders || Dots >= 3;
    if (!HasWordChar(Text)) continue;
    Any = true;
    F.Letters = F.Letters || HasWordChar(Text, true);
    // A section's number before a title may be in the plain font.
    const bool Number = W == 0 && Line.WordCount > 1 && SectionNumber(Text);
    Bold = Bold && ((Word.Style & StyleBold) || Number);
    Caps = Caps && ((Word.Style & StyleCaps) || Number);
    Sans = Sans && ((Word.Style & StyleSans) || Number);
    Italic = Italic && ((Word.Style & StyleItalic) || Number);
    Mono = Mono && (Word.Style & StyleMono);
    Numbered = Numbered || (Number && Text.find('.') < Text.size() - 1);
    for (char C : Text) {
      Upper += IsUpper(static_cast<unsigned char>(C));
      // Small letters, and letters past ASCII (which have no case, or one
      // not told here).
      Lower += IsLower(static_cast<unsigned char>(C)) || static_cast<unsigned char>(C) >= 0xC0;
    }
    size_t K = 0;
    while (K < Distinct && Counts[K].first != Word.Size) ++K;
    if (K == Distinct) {
      if (Distinct == MaxLineSizes) continue;
      Counts[Distinct++] = {Word.Size, 0};
    }
    Counts[K].second += CharCount(Text);
  }
  F.AllBold = Any && Bold;
  F.AllCaps = Any && (Caps || (Upper >= 3 && Lower == 0));
  F.AllSans = Any && Sans;
  F.NumberedItalic = Any && Italic && Numbered;
  F.AllMono = Any && Mono;
  if (Leaders && Line.WordCount >= 2) {
    const std::string_view Last = Page.WordText(Page.Words[Line.FirstWord + Line.WordCount - 1]);
    F.Entry = !Last.empty() && std::all_of(Last.begin(), Last.end(), [](char C) {
      return IsDigit(static_cast<unsigned char>(C)) || std::strchr("ivxlcdm", C);
    });
  }
  size_t Most = 0;
  for (size_t K = 0; K < Distinct; ++K)
    if (Counts[K].second > Most) {
      Most = Counts[K].second;
      F.Size = Counts[K].first;
    }
  return F;
}

// Builds a page's elements. A list's levels: the marker's and the text's
// left edge, and the width of the marker written.
struct TListLevel {
  float X, TextX;
  size_t Width;
};

class TPageBuilder {
 public:
  TPageBuilder(const TData::TPage& Page, const TDocument& Doc, std::vector<TElement>& Out)
      : P(Page), Doc(Doc), Out(Out) {}
  void Build();

 private:
  // Lines that may head what follows: in a larger size, wholly bold, wholly
  // in capitals, wholly sans serif in a serif body, numbered and italic.
  enum class TClass : uint8_t { None, Large, Bold, Caps, Sans, Italic };
  bool Dropped(const TData::TLine& Line, const TLineFacts& Facts) const;
  TClass Classify(const TData::TLine& Line, const TLineFacts& Facts) const;
  // Whether lines [From, To) of Lines (the block's kept lines) are a heading.
  bool Heading(const std::vector<uint32_t>& Lines, const std::vector<TLineFacts>& Facts, size_t From, size_t To,
               TClass Class, float BlockX1) const;
  void Text(const TData::TBlock& Block);
  void Line(const TData::TLine& Line, const TLineFacts& F, bool Start, float BlockX1);
  void AddWords(TElement& E, const TData::TLine& Line, size_t From) const;
  // A numbered title in bold that a paragraph's first line opens with
  // ("1.2 Options. The ..."): added as a heading; the words it takes.
  size_t RunInHeading(const TData::TLine& Line);
  // A line's size in points: its own, else the body's, else 10.
  float SizeOf(const TLineFacts& F) const {
    return static_cast<float>(F.Size ? F.Size : Doc.Body ? Doc.Body : 20) / 2;
  }
  std::string IndentOf(size_t Levels) const {
    size_t N = 0;
    for (size_t K = 0; K < Levels && K < List.size(); ++K) N += List[K].Width;
    return std::string(N, ' ');
  }

  const TData::TPage& P;
  const TDocument& Doc;
  std::vector<TElement>& Out;
  // The element lines are added to (an index of Out), and for an item the
  // right end of its last line.
  size_t Open = SIZE_MAX;
  float OpenX1 = 0;
  std::vector<TListLevel> List;
};

bool TPageBuilder::Dropped(const TData::TLine& Line, const TLineFacts& Facts) const {
  if (!(Line.Flags & LineEdge)) return false;
  const bool Large = Doc.Body && Facts.Size * 100 >= Doc.Body * HeadingRatio;
  // A number in a heading's size is a chapter's.
  if (Line.Flags & LinePageNumber) return !Large;
  if (Line.Edge < 0 || !Doc.RepeatedEdge[static_cast<size_t>(Line.Edge)]) return false;
  // A line in a heading's size repeats on a few pages as a chapter's title
  // does ("Chapter 3"); a running head in that size is on most pages.
  return Doc.RepeatedEdge[static_cast<size_t>(Line.Edge)] == 2 || !Large;
}

TPageBuilder::TClass TPageBuilder::Classify(const TData::TLine& Line, const TLineFacts& F) const {
  if (!(Line.Flags & LineLevel) || !F.Letters || F.AllMono || !Doc.Body) return TClass::None;
  const int Size = F.Size, Body = Doc.Body;
  if (Size * 100 >= Body * HeadingRatio || (F.AllBold && Size * 100 >= Body * BoldHeadingRatio)) return TClass::Large;
  if (Size * 100 < Body * BodyRatio) return TClass::None;
  if (F.AllBold && !(Doc.Norm & StyleBold)) return TClass::Bold;
  if (F.AllCaps) return TClass::Caps;
  if (F.NumberedItalic && !(Doc.Norm & StyleItalic)) return TClass::Italic;
  if (F.AllSans && !(Doc.Norm & StyleSans)) return TClass::Sans;
  return TClass::None;
}

bool TPageBuilder::Heading(const std::vector<uint32_t>& Lines, const std::vector<TLineFacts>& Facts, size_t From,
                           size_t To, TClass Class, float BlockX1) const {
  if (To - From > MaxHeadingLines) return false;
  size_t Words = 0;
  std::string_view First, Last;
  for (size_t K = From; K < To; ++K) {
    const TData::TLine& L = P.Lines[Lines[K]];
    if (Facts[K].Entry) return false;
    Words += L.WordCount;
    if (First.empty()) First = P.WordText(P.Words[L.FirstWord]);
    Last = P.WordText(P.Words[L.FirstWord + L.WordCount - 1]);
  }
  if (Words == 0 || Last.empty() || Words > MaxHeadingWords) return false;
  // A sentence going on.
  if (Last.back() == ',' || Last.back() == ';' || HyphenAtEnd(Last)) return false;
  // A full stop ends a numbered title too ("1.8 Commands, etc."), else a
  // sentence in a larger print.
  const bool Numbered = Words > 1 && SectionNumber(First);
  if (Class == TClass::Large) return !(Last.size() > 1 && Last.back() == '.' && Words >= 4 && !Numbered);
  // At the body's size: a short line or two starting with a letter or a
  // number, not a bulleted item, not ending as a sentence or a label does.
  if (!StartsWord(First) || (Last.back() == '.' && !Numbered) || Last.back() == ':') return false;
  const TMarker::TKind Marker = ListMarker(First).Kind;
  if (Marker == TMarker::Bullet || Marker == TMarker::Label) return false;
  // Else: a line or two of a few words; sans serif over lines of its
  // paragraph (not a label of a figure, on its own).
  if (Class != TClass::Bold && (To - From > 2 || Words > MaxCapsHeadingWords)) return false;
  if (Class == TClass::Sans && To == Lines.size()) return false;
  // Not cut off at the block's right edge as a paragraph's line is.
  const TData::TLine& End = P.Lines[Lines[To - 1]];
  return To == Lines.size() || End.X1 < BlockX1 - 2 * SizeOf(Facts[To - 1]);
}

size_t TPageBuilder::RunInHeading(const TData::TLine& L) {
  if (Doc.Norm & StyleBold || L.WordCount < 3) return 0;
  const auto Text = [&](size_t W) { return P.WordText(P.Words[L.FirstWord + W]); };
  const auto Bold = [&](size_t W) { return (P.Words[L.FirstWord + W].Style & StyleBold) != 0; };
  // A number with a dot inside ("1.2", "A.3") or a bold one, then bold
  // words, the last ending with a full stop, and plain words after them.
  const std::string_view Number = Text(0);
  if (!SectionNumber(Number) || !(Bold(0) || Number.find('.') < Number.size() - 1)) return 0;
  for (size_t W = 1; W < L.WordCount && W <= MaxCapsHeadingWords; ++W) {
    if (!Bold(W)) return 0;
    const std::string_view Word = Text(W);
    if (Word.empty() || Word.back() != '.') continue;
    if (W + 1 == L.WordCount || Bold(W + 1)) return 0;
    TElement Heading(TElement::Heading);
    for (size_t K = 0; K <= W; ++K) Heading.Tokens.push_back({std::string(Text(K)), 0});
    Heading.Tokens.back().Text.pop_back();
    Out.push_back(std::move(Heading));
    return W + 1;
  }
  return 0;
}

void TPageBuilder::AddWords(TElement& E, const TData::TLine& Line, size_t From) const {
  for (size_t W = From; W < Line.WordCount; ++W) {
    const TData::TWord& Word = P.Words[Line.FirstWord + W];
    TToken T{std::string(P.WordText(Word)), Word.Style};
    if (W == From) AppendLineStart(E.Tokens, std::move(T), Doc);
    else E.Tokens.push_back(std::move(T));
  }
}

void TPageBuilder::Build() {
  for (uint32_t B = 0; B < P.Blocks.size(); ++B) {
    const TData::TBlock& Block = P.Blocks[B];
    Open = SIZE_MAX;
    if (Block.Table) {
      List.clear();
      TElement E(TElement::Table);
      E.Page = &P;
      E.Block = B;
      Out.push_back(std::move(E));
      continue;
    }
    Text(Block);
  }
  // A heading that leaders and a page number follow is an entry of a table
  // of contents, cut by the layout: one paragraph.
  for (size_t K = 0; K + 1 < Out.size(); ++K) {
    TElement& E = Out[K];
    TElement& Next = Out[K + 1];
    if (E.Kind != TElement::Heading || Next.Kind != TElement::Paragraph || Next.Tokens.size() < 2) continue;
    // Three dots at least before anything else, a page's number last.
    size_t Dots = 0;
    for (const TToken& T : Next.Tokens) {
      if (T.Text.empty() || T.Text.find_first_not_of('.') != std::string::npos) break;
      Dots += T.Text.size();
    }
    const std::string& Number = Next.Tokens.back().Text;
    if (Dots < 3 || Number.find_first_not_of("0123456789ivxlcdm") != std::string::npos) continue;
    E.Kind = TElement::Paragraph;
    E.Size = 0;
    E.Tokens.insert(E.Tokens.end(), std::make_move_iterator(Next.Tokens.begin()),
                    std::make_move_iterator(Next.Tokens.end()));
    Next.Tokens.clear();
  }
  Out.erase(std::remove_if(Out.begin(), Out.end(),
                           [](const TElement& E) { return E.Kind == TElement::Paragraph && E.Tokens.empty(); }),
            Out.end());
}

void TPageBuilder::Text(const TData::TBlock& Block) {
  // The lines kept, and their facts.
  std::vector<uint32_t> Lines;
  std::vector<TLineFacts> Facts;
  bool Repeated = false;
  size_t Words = 0;
  for (uint32_t L = Block.FirstLine; L < Block.FirstLine + Block.LineCount; ++L) {
    const TLineFacts F = LineFacts(P, P.Lines[L]);
    if (P.Lines[L].WordCount == 0) continue;
    if (Dropped(P.Lines[L], F)) {
      Repeated = true;
      continue;
    }
    Lines.push_back(L);
    Facts.push_back(F);
    Words += P.Lines[L].WordCount;
  }
  // A running head or foot is left out, unless it is all in a heading's
  // size (a title set apart at the top of a page), or more words than a
  // head has that repeat nowhere (a paragraph set apart at the bottom).
  if (Block.Margin && !std::all_of(Facts.begin(), Facts.end(), [&](const TLineFacts& F) {
        return Doc.Body && F.Size * 100 >= Doc.Body * HeadingRatio;
      }) && (Repeated || Words <= MaxHeadingWords))
    return;
  std::vector<TClass> Classes;
  for (size_t K = 0; K < Lines.size(); ++K) Classes.push_back(Classify(P.Lines[Lines[K]], Facts[K]));
  bool Start = true;  // the next line starts a paragraph
  for (size_t K = 0; K < Lines.size();) {
    const TData::TLine& L = P.Lines[Lines[K]];
    Start = Start || (L.Flags & LineParagraph);
    size_t To = K + 1;
    if (Classes[K] != TClass::None) {
      while (To < Lines.size() && Classes[To] == Classes[K] &&
             (Classes[K] != TClass::Large || Facts[To].Size == Facts[K].Size))
        ++To;
      if ((Classes[K] == TClass::Large || Start) && Heading(Lines, Facts, K, To, Classes[K], Block.X1)) {
        TElement E(TElement::Heading);
        E.Size = Classes[K] == TClass::Large ? Facts[K].Size : 0;
        // A section's number set apart before it ("2", "A.") joins it.
        const TData::TLine& First = P.Lines[Lines[K]];
        if (!Out.empty() && Out.back().Kind == TElement::Paragraph && Out.back().Indent.empty() &&
            Out.back().Tokens.size() == 1 && SectionNumber(Out.back().Tokens[0].Text) &&
            std::min(Out.back().Y1, First.Y1) > std::max(Out.back().Y0, First.Y0)) {
          E.Tokens = std::move(Out.back().Tokens);
          Out.pop_back();
        }
        for (size_t J = K; J < To; ++J) AddWords(E, P.Lines[Lines[J]], 0);
        Out.push_back(std::move(E));
        Open = SIZE_MAX;
        List.clear();
        Start = true;
        K = To;
        continue;
      }
    }
    for (size_t J = K; J < To; ++J) {
      const TData::TLine& Each = P.Lines[Lines[J]];
      Line(Each, Facts[J], J == K ? Start : (Each.Flags & LineParagraph) != 0, Block.X1);
      // An entry of a table of contents ends its paragraph (which may
      // start on the line before).
      if (Facts[J].Entry) Open = SIZE_MAX;
    }
    Start = false;
    K = To;
  }
}

void TPageBuilder::Line(const TData::TLine& L, const TLineFacts& F, bool Start, float BlockX1) {
  const float Tolerance = 0.5f * SizeOf(F);
  const TData::TWord& FirstWord = P.Words[L.FirstWord];
  TMarker Marker;
  if ((L.Flags & LineLevel) && L.WordCount >= 2) Marker = ListMarker(P.WordText(FirstWord));
  else if ((L.Flags & LineLevel) && L.WordCount == 1) {
    Marker = ListMarker(P.WordText(FirstWord));
    if (Marker.Rest >= FirstWord.Length) Marker = {};  // a marker and nothing after it
  }
  const bool InParagraph = Open != SIZE_MAX && Out[Open].Kind == TElement::Paragraph && !Start;
  // A number opening a line of a paragraph that has not ended a sentence
  // goes on with it ("... in Section\n3. The ...").
  if (Marker.Kind == TMarker::Number && InParagraph) {
    const std::string& Before = Out[Open].Tokens.back().Text;
    if (Before.empty() || !std::strchr(".:;!?", Before.back())) Marker = {};
  }
  if (Marker.Kind != TMarker::None) {
    // Its level: deeper than an item it stands right of, beside one it
    // stands under.
    const float X = L.X0;
    // Far right of the list so far: a list of its own (in another column).
    if (!List.empty() && X > List.back().TextX + 6 * Tolerance) List.clear();
    while (!List.empty() && X < List.back().X - Tolerance) List.pop_back();
    if (!List.empty() && X <= List.back().X + Tolerance) List.pop_back();
    if (List.size() >= MaxListDepth) List.pop_back();
    TElement E(TElement::Item);
    E.Indent = IndentOf(List.size());
    E.Marker = Marker.Kind == TMarker::Number ? Marker.Digits + "." : "-";
    size_t From = 1;
    float TextX = L.WordCount >= 2 ? P.Words[L.FirstWord + 1].X0 : L.X0;
    if (Marker.Kind == TMarker::Label) {
      From = 0;  // the label stays as the item's first word
    } else if (Marker.Rest < FirstWord.Length) {
      // A bullet glued to its text.
      E.Tokens.push_back({std::string(P.WordText(FirstWord).substr(Marker.Rest)), FirstWord.Style});
      TextX = L.X0;
    }
    if (Marker.Kind == TMarker::Label && L.WordCount >= 2) TextX = P.Words[L.FirstWord + 1].X0;
    for (size_t W = From; W < L.WordCount; ++W) {
      const TData::TWord& Word = P.Words[L.FirstWord + W];
      E.Tokens.push_back({std::string(P.WordText(Word)), Word.Style});
    }
    List.push_back({X, TextX, E.Marker.size() + 1});
    Out.push_back(std::move(E));
    Open = Out.size() - 1;
    OpenX1 = L.X1;
    return;
  }
  // A line under an item's text after one that ran to the block's right
  // edge goes on with the item, though the layout saw an indented first
  // line there (the item's lines but the first are indented).
  if (Open != SIZE_MAX && Start && Out[Open].Kind == TElement::Item && !List.empty() &&
      std::fabs(L.X0 - List.back().TextX) <= Tolerance && OpenX1 >= BlockX1 - 4 * Tolerance)
    Start = false;
  if (Open != SIZE_MAX && !Start) {
    // A line going on with the paragraph or the item: for an item, one
    // under its text, or under its marker after a line that ran to the
    // block's right edge.
    const bool Item = Out[Open].Kind == TElement::Item;
    if (!Item || List.empty() || L.X0 >= List.back().TextX - Tolerance ||
        (L.X0 >= List.back().X - Tolerance && OpenX1 >= BlockX1 - 4 * Tolerance)) {
      AddWords(Out[Open], L, 0);
      OpenX1 = L.X1;
      return;
    }
  }
  TElement E(TElement::Paragraph);
  // A paragraph within the last item: under its text.
  if (!List.empty() && (L.Flags & LineLevel) && L.X0 >= List.back().TextX - Tolerance &&
      L.X0 <= List.back().TextX + 4 * Tolerance && L.X0 > List.back().X + Tolerance)
    E.Indent = IndentOf(List.size());
  else
    List.clear();
  size_t From = 0;
  if (E.Indent.empty() && (L.Flags & LineLevel)) From = RunInHeading(L);
  AddWords(E, L, From);
  E.Y0 = L.Y0;
  E.Y1 = L.Y1;
  Out.push_back(std::move(E));
  Open = Out.size() - 1;
  OpenX1 = L.X1;
}

// Whether a paragraph ends as one that runs on to the next page does: with
// a small letter, a comma or a cut word.
bool RunsOn(const TElement& E) {
  if (E.Kind != TElement::Paragraph || !E.Indent.empty() || E.Tokens.empty()) return false;
  const std::string& Last = E.Tokens.back().Text;
  return !Last.empty() && (IsLower(static_cast<unsigned char>(Last.back())) || Last.back() == ',' || HyphenAtEnd(Last));
}
bool GoesOn(const TElement& E) {
  return E.Kind == TElement::Paragraph && E.Indent.empty() && !E.Tokens.empty() && !E.Tokens.front().Text.empty() &&
         IsLower(static_cast<unsigned char>(E.Tokens.front().Text.front()));
}

void AppendTable(std::string& Out, const TData::TPage& Page, const TData::TBlock& Block) {
  size_t Columns = 1;
  for (uint32_t R = 0; R < Block.RowCount; ++R)
    Columns = std::max<size_t>(Columns, Page.Rows[Block.FirstRow + R].Count);
  Columns = std::min(Columns, MaxTableColumns);
  for (uint32_t R = 0; R < Block.RowCount; ++R) {
    const TData::TRange Row = Page.Rows[Block.FirstRow + R];
    if (R) Out += '\n';
    for (size_t C = 0; C < Columns; ++C) {
      Out += '|';
      // The last column takes the cells past the limit.
      const size_t Last = C + 1 == Columns ? Row.Count : std::min<size_t>(C + 1, Row.Count);
      std::string Cell;
      for (size_t K = C; K < Last; ++K) {
        const TData::TRange Range = Page.Cells[Row.Start + K];
        if (Range.Count == 0) continue;
        if (!Cell.empty()) Cell += ' ';
        AppendEscaped(Cell, std::string_view(Page.Text).substr(Range.Start, Range.Count), false, true);
      }
      Out += ' ';
      if (!Cell.empty()) {
        Out += Cell;
        Out += ' ';
      }
    }
    Out += '|';
    if (R == 0) {
      Out += '\n';
      for (size_t C = 0; C < Columns; ++C) Out += "| --- ";
      Out += '|';
    }
  }
}

// Appends an element; a heading without its hashes, which go where
// Headings notes (its place in Out and its size) once the levels are known.
void AppendElement(std::string& Out, const TElement& E, const TDocument& Doc,
                   std::vector<std::pair<size_t, TSize>>& Headings) {
  switch (E.Kind) {
    case TElement::Heading: {
      Headings.emplace_back(Out.size(), E.Size);
      Out += ' ';
      const size_t Begin = Out.size();
      AppendTokens(Out, E.Tokens, Doc, false, false);
      // Closing hashes would be read as the heading's end.
      if (Out.size() > Begin && Out.back() == '#') {
        size_t Hashes = Out.size();
        while (Hashes > Begin && Out[Hashes - 1] == '#') --Hashes;
        if (Hashes == Begin || Out[Hashes - 1] == ' ') Out.insert(Hashes, 1, '\\');
      }
      break;
    }
    case TElement::Paragraph:
      Out += E.Indent;
      AppendTokens(Out, E.Tokens, Doc, true, true);
      break;
    case TElement::Item:
      Out += E.Indent;
      Out += E.Marker;
      Out += ' ';
      AppendTokens(Out, E.Tokens, Doc, true, true);
      break;
    case TElement::Table:
      AppendTable(Out, *E.Page, E.Page->Blocks[E.Block]);
      break;
  }
}

}  // namespace

std::string TMarkdownWriter::TData::Write(bool PageMarks) const {
  TDocument Doc;
  Doc.Hyphenated = &Hyphenated;
  // The body: the size of most characters (the smaller of two as common).
  uint64_t Most = 0;
  for (const auto& [Size, Count] : Sizes)
    if (Size && (Count.All > Most || (Count.All == Most && Size < Doc.Body))) {
      Most = Count.All;
      Doc.Body = Size;
    }
  if (Doc.Body) {
    const TSizeCount& Body = Sizes.at(Doc.Body);
    if (Body.Bold * 2 > Body.All) Doc.Norm |= StyleBold;
    if (Body.Italic * 2 > Body.All) Doc.Norm |= StyleItalic;
    if (Body.Sans * 2 > Body.All) Doc.Norm |= StyleSans;
  }
  // Lines at the pages' edges whose text repeats: on two pages at least,
  // and three or two fifths of the pages (2: on that many, which heading
  // sizes do not save).
  const size_t PageCount = Pages.size();
  Doc.RepeatedEdge.resize(EdgePages.size());
  for (size_t K = 0; K < EdgePages.size(); ++K) {
    const size_t N = EdgePages[K];
    if (N >= 2 && 5 * N >= 2 * PageCount) Doc.RepeatedEdge[K] = 2;
    else if (N >= 3) Doc.RepeatedEdge[K] = 1;
  }
  std::vector<TElement> Elements;
  // The pages, each held back until the next shows whether its last
  // paragraph runs on. Items follow each other on lines of their own, and
  // everything else after an empty line; a page's end parts a list too.
  std::string Out;
  std::vector<std::pair<size_t, TSize>> Headings;
  bool AfterItem = false;
  const auto Write = [&](const std::vector<TElement>& Elements) {
    for (const TElement& E : Elements) {
      if (!Out.empty()) Out += AfterItem && E.Kind == TElement::Item ? "\n" : "\n\n";
      AppendElement(Out, E, Doc, Headings);
      AfterItem = E.Kind == TElement::Item;
    }
    AfterItem = false;
  };
  std::vector<TElement> Held;
  for (const TPage& Page : Pages) {
    Elements.clear();
    TPageBuilder(Page, Doc, Elements).Build();
    if (PageMarks) {
      if (!Out.empty()) Out += "\n\n";
      Out += "<!-- page " + std::to_string(Page.Number) + " -->";
      Write(Elements);
      continue;
    }
    auto From = Elements.begin();
    if (!Held.empty() && !Elements.empty() && RunsOn(Held.back()) && GoesOn(Elements.front())) {
      std::vector<TToken>& Into = Held.back().Tokens;
      std::vector<TToken>& Tokens = Elements.front().Tokens;
      AppendLineStart(Into, std::move(Tokens.front()), Doc);
      Into.insert(Into.end(), std::make_move_iterator(Tokens.begin() + 1), std::make_move_iterator(Tokens.end()));
      ++From;
    }
    Write(Held);
    Held.assign(std::make_move_iterator(From), std::make_move_iterator(Elements.end()));
  }
  Write(Held);
  if (!Out.empty()) Out += '\n';

  // The sizes of the headings, ranked: the largest "#", the next "##", the
  // rest "###"; sizes a few percent apart share a level. Headings in the
  // body's size come one level below.
  std::vector<TSize> Sizes;
  for (const auto& [At, Size] : Headings)
    if (Size) Sizes.push_back(Size);
  std::sort(Sizes.begin(), Sizes.end(), std::greater<>());
  Sizes.erase(std::unique(Sizes.begin(), Sizes.end()), Sizes.end());
  int Level = 0;
  TSize Top = 0;
  for (TSize S : Sizes) {
    if (Level == 0 || S * SameLevel < Top * 100) {
      ++Level;
      Top = S;
    }
    Doc.Levels.emplace_back(S, std::min(Level, 3));
  }
  Doc.BoldLevel = std::min(Level + 1, 3);
  if (Headings.empty()) return Out;
  std::string Final;
  Final.reserve(Out.size() + 3 * Headings.size());
  size_t Copied = 0;
  for (const auto& [At, Size] : Headings) {
    Final.append(Out, Copied, At - Copied);
    Final.append(static_cast<size_t>(Size ? Doc.LevelOf(Size) : Doc.BoldLevel), '#');
    Copied = At;
  }
  Final.append(Out, Copied, std::string::npos);
  return Final;
}

TMarkdownWriter::TMarkdownWriter() : FData(std::make_unique<TData>()) {}
TMarkdownWriter::~TMarkdownWriter() = default;
TMarkdownWriter::TMarkdownWriter(TMarkdownWriter&&) noexcept = default;
TMarkdownWriter& TMarkdownWriter::operator=(TMarkdownWriter&&) noexcept = default;

void TMarkdownWriter::AddPage(TReadingPage Page) { FData->Add(std::move(Page)); }

std::string TMarkdownWriter::Finish(bool PageMarks) { return FData->Write(PageMarks); }
