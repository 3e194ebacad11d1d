// The Markdown writer on reading-order pages made up by the tests, and on a
// file read through the engine.
#include "Markdown.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "CodePage.h"
#include "TestPDFWriter.h"
#include "main.h"
#include "uPDFEngine.h"

namespace {

// A line of words from Text at (X, Y), Y its baseline on the page (y runs
// down), 0.5 Size per character and a quarter of it between words. A word
// written "!word" is bold, "~word" italic, "!~word" both.
TReadingLine Line(double X, double Y, const std::string& Text, double Size = 10, bool Bold = false) {
  TReadingLine L;
  double At = X;
  for (size_t From = 0; From < Text.size();) {
    size_t End = Text.find(' ', From);
    if (End == std::string::npos) End = Text.size();
    TReadingWord W;
    W.Text = Text.substr(From, End - From);
    W.Bold = Bold;
    if (W.Text.size() > 1 && W.Text[0] == '!') {
      W.Bold = true;
      W.Text.erase(0, 1);
    }
    if (W.Text.size() > 1 && W.Text[0] == '~') {
      W.Italic = true;
      W.Text.erase(0, 1);
    }
    W.Font = "F";
    W.Size = Size;
    W.X0 = At;
    size_t Chars = 0;
    for (unsigned char C : W.Text) Chars += (C & 0xC0) != 0x80;
    W.X1 = At + 0.5 * Size * static_cast<double>(Chars);
    W.Y0 = Y - 0.75 * Size;
    W.Y1 = Y + 0.25 * Size;
    At = W.X1 + 0.25 * Size;
    From = End + 1;
    L.Words.push_back(std::move(W));
  }
  L.X0 = X;
  L.X1 = L.Words.empty() ? X : L.Words.back().X1;
  L.Y0 = Y - 0.75 * Size;
  L.Y1 = Y + 0.25 * Size;
  return L;
}

TReadingLine Bold(double X, double Y, const std::string& Text, double Size = 10) {
  return Line(X, Y, Text, Size, true);
}

// The same line in another font.
TReadingLine InFont(TReadingLine L, const char* Font) {
  for (auto& W : L.Words) W.Font = Font;
  return L;
}

// The same line starting a paragraph.
TReadingLine Starts(TReadingLine L) {
  L.ParagraphStart = true;
  return L;
}

TReadingBlock Block(std::vector<TReadingLine> Lines, bool Margin = false) {
  TReadingBlock B;
  B.Margin = Margin;
  B.X0 = B.Y0 = 1e9;
  B.X1 = B.Y1 = -1e9;
  for (const auto& L : Lines) {
    B.X0 = std::min(B.X0, L.X0);
    B.Y0 = std::min(B.Y0, L.Y0);
    B.X1 = std::max(B.X1, L.X1);
    B.Y1 = std::max(B.Y1, L.Y1);
  }
  B.Lines = std::move(Lines);
  return B;
}

TReadingPage Page(std::vector<TReadingBlock> Blocks, int32_t Number = 1) {
  TReadingPage P;
  P.Number = Number;
  P.Width = 612;
  P.Height = 792;
  P.Blocks = std::move(Blocks);
  return P;
}

// Body text: a block of lines of plain words at the body size, so that
// the body size is the common one.
TReadingBlock Body(double Y, const std::string& Name, int Lines = 3) {
  std::vector<TReadingLine> Out;
  for (int L = 0; L < Lines; ++L)
    Out.push_back(Line(72, Y + 12.0 * L, Name + " words of the body text run on here."));
  return Block(Out);
}
std::string BodyText(const std::string& Name, int Lines = 3) {
  std::string Out;
  for (int L = 0; L < Lines; ++L) Out += (L ? " " : "") + Name + " words of the body text run on here.";
  return Out;
}

std::string Markdown(std::vector<TReadingPage> Pages, bool Marks = false) {
  TMarkdownWriter W;
  for (auto& P : Pages) W.AddPage(std::move(P));
  return W.Finish(Marks);
}
std::string Markdown(std::vector<TReadingBlock> Blocks) { return Markdown(std::vector<TReadingPage>{Page(Blocks)}); }

TEST(Markdown, HeadingsFromSizesAndBold) {
  struct Case {
    const char* What;
    std::vector<TReadingBlock> Blocks;
    std::string Expected;
  } Cases[] = {
      {"sizes ranked: the largest #, the next ##, the rest ###; bold at the body's size after them",
       {Block({Line(72, 80, "Title", 20)}), Block({Line(72, 110, "1 Intro", 14)}), Body(130, "a"),
        Block({Line(72, 180, "1.1 More", 12)}), Body(200, "b"), Block({Line(72, 250, "1.1.1 Least", 11.5)}),
        Block({Bold(72, 270, "Remark")}), Body(290, "c")},
       "# Title\n\n## 1 Intro\n\n" + BodyText("a") + "\n\n### 1.1 More\n\n" + BodyText("b") +
           "\n\n### 1.1.1 Least\n\n### Remark\n\n" + BodyText("c") + "\n"},
      {"one size: bold is the next level; sizes a few percent apart share a level",
       {Block({Line(72, 80, "One", 14)}), Body(100, "a"), Block({Line(72, 150, "Two", 14.4)}),
        Block({Bold(72, 170, "Three")}), Body(190, "b")},
       "# One\n\n" + BodyText("a") + "\n\n# Two\n\n## Three\n\n" + BodyText("b") + "\n"},
      {"no larger size: bold lines are the first level; a bold line that a block starts with too",
       {Block({Bold(72, 80, "Abstract")}), Body(100, "a"),
        Block({Bold(72, 150, "Methods"), Line(72, 162, "We measured it."), Line(72, 174, "Twice.")})},
       "# Abstract\n\n" + BodyText("a") + "\n\n# Methods\n\nWe measured it. Twice.\n"},
      {"capitals at the body's size: small capitals, capitals alone; a plain section number before a bold title",
       {Block({Line(72, 80, "1. !Introduction")}), Body(100, "a"), Block({Line(72, 150, "2 METHODS")}), Body(170, "b"),
        Block({InFont(Line(72, 220, "Results"), "CMCSC10")}), Body(240, "c")},
       "# 1. Introduction\n\n" + BodyText("a") + "\n\n# 2 METHODS\n\n" + BodyText("b") + "\n\n# Results\n\n" +
           BodyText("c") + "\n"},
      {"sans serif over its paragraph in a serif body; numbered and italic; numbered and bold, run into its paragraph",
       {Block({InFont(Line(72, 80, "Options"), "LMSans10-Regular"), Line(72, 92, "The options are few.")}),
        Block({Line(72, 120, "2.1 ~Class ~Options")}), Body(140, "a"),
        Block({Line(72, 190, "!1.2 !Essential !Commands. To begin, fill in"), Line(72, 202, "the fields.")}),
        Body(230, "b")},
       "# Options\n\nThe options are few.\n\n# 2.1 Class Options\n\n" + BodyText("a") +
           "\n\n# 1.2 Essential Commands\n\nTo begin, fill in the fields.\n\n" + BodyText("b") + "\n"},
      {"not headings: sans serif on its own (a figure's label), typewriter, a sentence in a larger print, capitals "
       "beside letters of no case",
       {Body(30, "a"), Block({InFont(Line(72, 80, "Time (s)"), "Helvetica")}),
        Block({InFont(Line(72, 100, "print(x)", 14), "Courier")}),
        Block({Line(72, 120, "This is a larger sentence.", 14)}),
        Block({Line(72, 140, "CTEX \xE7\xBD\x91\xE7\xAB\x99")}), Body(160, "b")},
       BodyText("a") + "\n\nTime (s)\n\nprint(x)\n\nThis is a larger sentence.\n\nCTEX \xE7\xBD\x91\xE7\xAB\x99\n\n" +
           BodyText("b") + "\n"},
      {"a number on a line above a title stays apart", {Body(30, "a"), Block({Line(72, 80, "111")}),
        Block({Line(72, 100, "Title", 14)}), Body(120, "b")},
       BodyText("a") + "\n\n111\n\n# Title\n\n" + BodyText("b") + "\n"},
      {"a heading of two lines is one line; its number set apart joins it",
       {Block({Line(72, 80, "2", 14)}), Block({Line(100, 80, "A long title", 14), Line(100, 96, "over two lines", 14)}),
        Body(120, "a")},
       "# 2 A long title over two lines\n\n" + BodyText("a") + "\n"},
      {"not headings: a large line going on with a comma, a large block of many words, a bold line of a "
       "paragraph that runs to the block's edge, a bold line ending as a label",
       {Block({Line(72, 80, "Large but going on,", 14)}),
        Block({Line(72, 100, "one two three four five six seven eight nine ten", 14),
               Line(72, 116, "one two three four five six seven eight nine ten", 14),
               Line(72, 132, "one more", 14)}),
        Block({Bold(72, 160, "Bold words that fill the whole width of the block here"),
               Line(72, 172, "and plain ones after them.")}),
        Block({Bold(72, 200, "Note:")}), Body(220, "a", 6)},
       "Large but going on,\n\none two three four five six seven eight nine ten one two three four five six "
       "seven eight nine ten one more\n\n**Bold words that fill the whole width of the block here** and plain "
       "ones after them.\n\n**Note:**\n\n" +
           BodyText("a", 6) + "\n"},
  };
  for (const auto& C : Cases) EXPECT_EQ(Markdown(C.Blocks), C.Expected) << C.What;

  // A document whose body is all bold: bold is the norm, neither a heading
  // nor marked.
  std::vector<TReadingLine> AllBold;
  for (int L = 0; L < 4; ++L) AllBold.push_back(Bold(72, 100 + 12.0 * L, "bold body words"));
  EXPECT_EQ(Markdown({Block({Bold(72, 80, "Short")}), Block(AllBold)}),
            "Short\n\nbold body words bold body words bold body words bold body words\n");
}

TEST(Markdown, ParagraphsAndWordsCutAtLineEnds) {
  // Lines of a block join with one space; a paragraph start and a new block
  // start paragraphs.
  EXPECT_EQ(Markdown({Block({Line(72, 80, "one line"), Line(72, 92, "and the next"), Starts(Line(72, 110, "Another"))}),
                      Block({Line(72, 140, "Third")})}),
            "one line and the next\n\nAnother\n\nThird\n");

  struct Case {
    const char* What;
    std::string First, Second, Elsewhere, Expected;
  } Cases[] = {
      {"letters: the hyphen goes", "a data-", "base here", "", "a database here"},
      {"kept where the document has the word with it", "a data-", "base here", "the data-base.", "a data-base here"},
      {"kept in another case and with punctuation after it", "is well-", "known, so", "(Well-Known)",
       "is well-known, so"},
      {"a line's last word is not the document's hyphenated word", "a data-", "base here", "more data-",
       "a database here"},
      {"after a digit", "from 1990-", "2000 on", "", "from 1990-2000 on"},
      {"before a capital", "the Franco-", "German border", "", "the Franco-German border"},
      {"a dash of its own", "this -", "that", "", "this - that"},
      {"a soft hyphen", "inter\xC2\xAD", "national", "", "international"},
      {"U+2010", "re\xE2\x80\x90", "use it", "", "reuse it"},
  };
  for (const auto& C : Cases) {
    std::vector<TReadingBlock> Blocks{Block({Line(72, 80, C.First), Line(72, 92, C.Second)})};
    if (!C.Elsewhere.empty()) Blocks.push_back(Block({Line(72, 200, C.Elsewhere), Line(72, 212, "x")}));
    const std::string Out = Markdown(Blocks);
    EXPECT_EQ(Out.substr(0, Out.find('\n')), C.Expected) << C.What;
  }
}

TEST(Markdown, ListItems) {
  struct Case {
    const char* What;
    std::vector<TReadingLine> Lines;
    std::string Expected;
  } Cases[] = {
      {"bullets nested by indent, a continuation line under the text joins its item",
       {Line(72, 80, "\xE2\x80\xA2 one"), Line(90, 92, "\xE2\x97\xA6 sub item"), Line(72, 104, "\xE2\x80\xA2 two"),
        Line(82, 116, "goes on")},
       "- one\n  - sub item\n- two goes on\n"},
      {"numbers kept, a parenthesis as a full stop; letters and roman numerals kept as text; nested under a number",
       {Line(72, 80, "1. first"), Line(72, 92, "2) second"), Line(90, 104, "(a) sub"), Line(90, 116, "iv. roman"),
        Line(72, 128, "10. tenth")},
       "1. first\n2. second\n   - (a) sub\n   - iv. roman\n10. tenth\n"},
      {"a bullet glued to its text, dashes and asterisks as words of their own",
       {Line(72, 80, "\xE2\x80\xA2glued"), Line(72, 92, "- dash"), Line(72, 104, "* star"),
        Line(72, 116, "\xE2\x80\x93 en dash")},
       "- glued\n- dash\n- star\n- en dash\n"},
      {"not lists: a minus sign, an option, a number going on with a sentence, a capital's initial",
       {Line(72, 80, "-5 degrees"), Starts(Line(72, 100, "--help shows")), Starts(Line(72, 120, "see Section")),
        Line(72, 132, "3. The end")},
       "-5 degrees\n\n--help shows\n\nsee Section 3. The end\n"},
      {"a paragraph after a list, at the margin",
       {Line(72, 80, "\xE2\x80\xA2 item"), Starts(Line(72, 100, "After the list."))}, "- item\n\nAfter the list.\n"},
      {"a continuation line the layout took for an indented first line",
       {Line(72, 80, "\xE2\x80\xA2 a long item that runs to the right edge of the block"),
        Starts(Line(82, 92, "and on")), Line(72, 104, "\xE2\x80\xA2 next")},
       "- a long item that runs to the right edge of the block and on\n- next\n"},
      {"a paragraph within an item, under its text",
       {Line(72, 80, "1. item"), Starts(Line(84, 100, "More of it.")), Line(72, 120, "2. next")},
       "1. item\n\n   More of it.\n\n2. next\n"},
  };
  for (const auto& C : Cases) EXPECT_EQ(Markdown({Block(C.Lines)}), C.Expected) << C.What;
}

TEST(Markdown, TablesAsPipeTables) {
  TReadingBlock Table = Block({Line(72, 80, "name size"), Line(72, 92, "a|b 12"), Line(72, 104, "c")});
  Table.Kind = TReadingBlockKind::Table;
  Table.Rows = {{"name", "size"}, {"a|b", "12"}, {"c", ""}};
  EXPECT_EQ(Markdown({Body(30, "a", 1), Table}),
            BodyText("a", 1) + "\n\n| name | size |\n| --- | --- |\n| a\\|b | 12 |\n| c | |\n");
}

TEST(Markdown, BoldAndItalicRunsAndEscapes) {
  struct Case {
    const char* What;
    std::string Line, Expected;
  } Cases[] = {
      {"runs of words by style", "plain !bold !words ~it !~both plain", "plain **bold words** _it_ **_both_** plain"},
      {"a run of punctuation is not marked", "a !( b", "a ( b"},
      {"emphasis characters", "*star* snake_case _x", "\\*star\\* snake_case \\_x"},
      {"tags, links, entities, code, strikes", "<b> [a](b) &amp; `c` a~~s~~ 1<2",
       "\\<b> [a\\](b) \\&amp; \\`c\\` a\\~\\~s\\~\\~ 1<2"},
      {"a backslash before punctuation", "C:\\dir \\* a\\b", "C:\\dir \\\\\\* a\\b"},
      {"a heading's, a quote's, a rule's start", "# not", "\\# not"},
      {"a quote's start", "> not", "\\> not"},
      {"a plus as a list's start", "+ not", "\\+ not"},
      {"a rule", "---", "\\---"},
      {"a number and a full stop alone", "2011.", "2011\\."},
      {"a link's definition", "[1]: x", "\\[1]: x"},
      {"control characters and bytes that are no UTF-8", std::string("a\tb \xFF\xC3 \x01"),
       "a b \xEF\xBF\xBD\xEF\xBF\xBD  "},
  };
  // Each line between body text (so that plain words are the norm, and
  // the line is at no page's edge).
  for (const auto& C : Cases)
    EXPECT_EQ(Markdown({Body(30, "a"), Block({Line(72, 80, C.Line)}), Body(100, "b")}),
              BodyText("a") + "\n\n" + C.Expected + "\n\n" + BodyText("b") + "\n")
        << C.What;
  // Headings are not marked; closing hashes are escaped.
  EXPECT_EQ(Markdown({Block({Line(72, 80, "!Big ~title #", 16)}), Body(100, "a")}),
            "# Big title \\#\n\n" + BodyText("a") + "\n");
}

TEST(Markdown, RunningHeadsFeetAndPageNumbersLeftOut) {
  // Eight pages: a running head (its page number changing) and a foot with
  // the page number at their edges, a margin block, a chapter title on
  // three pages at the top (kept: in a heading's size and on few pages), and
  // a line at the top on one page only (kept).
  std::vector<TReadingPage> Pages;
  std::string Expected;
  const char* Feet[] = {"1", "- 2 -", "Page 3", "iv", "5 of 8", "[6]", "7/8", "p. 8"};
  const char* Names[] = {"alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta"};
  for (int P = 1; P <= 8; ++P) {
    std::vector<TReadingBlock> Blocks;
    Blocks.push_back(Block({Line(72, 20, "Margin words " + std::to_string(P))}, true));
    Blocks.push_back(Block({Line(72, 50, "Guide to things, page " + std::to_string(P) + " of 8")}));
    const std::string Name = Names[P - 1];
    if (P % 3 == 1) {
      Blocks.push_back(Block({Line(72, 80, "Chapter " + std::to_string(P), 16)}));
      Expected += "# Chapter " + std::to_string(P) + "\n\n";
    }
    if (P == 2) {
      Blocks.push_back(Block({Line(72, 75, "Only here")}));
      Expected += "Only here\n\n";
    }
    Blocks.push_back(Body(100, Name));
    Expected += BodyText(Name) + "\n\n";
    Blocks.push_back(Block({Line(300, 760, Feet[P - 1])}));
    Pages.push_back(Page(std::move(Blocks), P));
  }
  Expected.pop_back();
  EXPECT_EQ(Markdown(std::move(Pages)), Expected);

  // A head on two pages of three repeats; a heading in a margin block (a
  // title peeled at the page's top) stays, though its text comes back as a
  // smaller head on the other pages.
  std::vector<TReadingPage> Three;
  Three.push_back(
      Page({Block({Line(72, 30, "Big Title", 18)}, true), Block({Line(72, 50, "Short Head")}), Body(100, "one")}, 1));
  Three.push_back(Page({Block({Line(72, 30, "Big Title")}), Block({Line(72, 50, "Short Head")}), Body(100, "two")}, 2));
  Three.push_back(Page({Block({Line(72, 30, "Big Title")}), Body(100, "three")}, 3));
  EXPECT_EQ(Markdown(std::move(Three)),
            "# Big Title\n\n" + BodyText("one") + "\n\n" + BodyText("two") + "\n\n" + BodyText("three") + "\n");
}

TEST(Markdown, PagesMarksAndParagraphsRunningOn) {
  const auto Pages = [] {
    return std::vector<TReadingPage>{
        Page({Block({Line(72, 100, "The text of the first"), Line(72, 112, "page goes")})}, 1),
                                     Page({Block({Line(72, 100, "on here."), Line(72, 112, "Done.")})}, 2),
                                     Page({Block({Line(72, 100, "Third page.")})}, 3), Page({}, 4)};
  };
  EXPECT_EQ(Markdown(Pages()), "The text of the first page goes on here. Done.\n\nThird page.\n");
  EXPECT_EQ(Markdown(Pages(), true),
            "<!-- page 1 -->\n\nThe text of the first page goes\n\n<!-- page 2 -->\n\non here. Done.\n\n"
            "<!-- page 3 -->\n\nThird page.\n\n<!-- page 4 -->\n");
  // A paragraph ending a sentence, or a page starting with a capital: no
  // joining; nothing at all: nothing written.
  EXPECT_EQ(Markdown({Page({Block({Line(72, 100, "Ends here.")})}), Page({Block({Line(72, 100, "starts anew")})}),
                      Page({Block({Line(72, 100, "Capital")})})}),
            "Ends here.\n\nstarts anew\n\nCapital\n");
  EXPECT_EQ(Markdown(std::vector<TReadingPage>{Page({}), Page({})}), "");
  // Finish may be called again, with and without marks.
  TMarkdownWriter W;
  W.AddPage(Page({Block({Line(72, 100, "Once.")})}, 7));
  EXPECT_EQ(W.Finish(true), "<!-- page 7 -->\n\nOnce.\n");
  EXPECT_EQ(W.Finish(), "Once.\n");
}

TEST(Markdown, TurnedLinesAndTablesOfContents) {
  // Lines running up the page are paragraphs, whatever their size and
  // first word.
  TReadingLine Up = Line(72, 300, "\xE2\x80\xA2 Sideways title", 20);
  Up.DirX = 0;
  Up.DirY = -1;
  // Entries of a table of contents stay lines of their own.
  EXPECT_EQ(Markdown({Block({Up}), Block({Line(72, 80, "1 Intro . . . . 3"), Line(72, 92, "2 Long title going"),
                                          Line(72, 104, "on . . . . 12"), Line(72, 116, "Index . . . xi")}),
                      Body(130, "a")}),
            "\xE2\x80\xA2 Sideways title\n\n1 Intro . . . . 3\n\n2 Long title going on . . . . 12\n\n"
            "Index . . . xi\n\n" +
                BodyText("a") + "\n");
  // An entry whose bold title the layout set apart from its leaders is one
  // paragraph; a title over an index's first entry stays a heading.
  EXPECT_EQ(Markdown({Body(30, "a"), Block({Bold(72, 80, "4 Installing")}), Block({Line(200, 80, ". . . . 20")}),
                      Block({Line(72, 100, "Index", 16)}), Block({Line(72, 120, ". .dbf . . . 21")}), Body(140, "b")}),
            BodyText("a") + "\n\n**4 Installing** . . . . 20\n\n# Index\n\n. .dbf . . . 21\n\n" + BodyText("b") + "\n");
}

TEST(Markdown, HostilePagesFinish) {
  // A line of two hundred thousand words, fifty thousand bulleted lines each
  // further right, sizes and places that are no numbers: the writer ends,
  // with every word.
  TReadingLine Long;
  for (int W = 0; W < 200000; ++W) {
    TReadingWord Word;
    Word.Text = "w";
    Word.Size = W % 2 ? std::numeric_limits<double>::quiet_NaN() : 1e300 * W;
    Word.X0 = W % 3 ? std::numeric_limits<double>::infinity() : W;
    Long.Words.push_back(Word);
  }
  std::vector<TReadingLine> Stairs;
  for (int L = 0; L < 50000; ++L) Stairs.push_back(Line(10.0 + L, 10.0 * L, "- item"));
  // And twenty thousand headings, each in a size of its own.
  std::vector<TReadingBlock> Blocks{Block({Long}), Block(Stairs)};
  for (int H = 0; H < 20000; ++H) Blocks.push_back(Block({Line(72, 100.0 + H, "Title", 20 + 0.5 * H)}));
  const std::string Out = Markdown(Blocks);
  size_t Headings = 0;
  for (size_t At = 0; (At = Out.find("# Title\n", At)) != std::string::npos; ++At) ++Headings;
  EXPECT_EQ(Headings, 20000u);
  size_t Words = 0, Items = 0;
  for (size_t At = 0; (At = Out.find('w', At)) != std::string::npos; ++At) ++Words;
  for (size_t At = 0; (At = Out.find("- item", At)) != std::string::npos; ++At) ++Items;
  EXPECT_EQ(Words, 200000u);
  EXPECT_EQ(Items, 50000u);
}

// A file of one page in Helvetica and Helvetica-Bold read by the engine:
// a title, a section, paragraphs and a list come out as Markdown.
TEST(Markdown, FileReadThroughTheEngine) {
  const std::string Content =
      "BT /F2 20 Tf 72 720 Td (Getting Started) Tj ET\n"
      "BT /F1 10 Tf 72 690 Td 12 TL (This guide shows how the tool reads a file and how it writes the) Tj\n"
      "(text of each page as Markdown for the pipelines that come after it. The) '\n"
      "(text is read in the order a person reads it, one column after another.) ' ET\n"
      "BT /F2 14 Tf 72 630 Td (Options) Tj ET\n"
      "BT /F1 10 Tf 72 605 Td 12 TL (The options of the program, each on its own line:) Tj\n"
      "(\\225 the layout of the text) '\n(\\225 the format of the output) '\n(\\225 the pages to read) ' ET\n"
      "BT /F1 10 Tf 72 540 Td 12 TL (When no option is given the program reads every page of the file and) Tj\n"
      "(writes the text as plain text with the reading layout in a file beside it.) ' ET\n";
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
  W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >>");
  W.Add(3, 0, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /Font << /F1 5 0 R /F2 6 0 R >> >> >>");
  W.AddStream(4, "", Content, true);
  W.Add(5, 0, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  W.Add(6, 0, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>");
  W.Section().Root = "1 0 R";
  TPDFEngine Engine(TCodePage::Create("UTF-8"));
  ASSERT_TRUE(Engine.LoadFromData(W.Finish()).Ok());
  TMarkdownWriter Writer;
  for (int32_t P = 1; P <= Engine.PageCount(); ++P) {
    TPageResult R = ReadPage(Engine, P, std::nullopt, TTextType::Reading, true);
    ASSERT_TRUE(R.Layout);
    Writer.AddPage(std::move(*R.Layout));
  }
  EXPECT_EQ(Writer.Finish(),
            "# Getting Started\n\n"
            "This guide shows how the tool reads a file and how it writes the text of each page as Markdown for the "
            "pipelines that come after it. The text is read in the order a person reads it, one column after "
            "another.\n\n"
            "## Options\n\n"
            "The options of the program, each on its own line:\n\n"
            "- the layout of the text\n- the format of the output\n- the pages to read\n\n"
            "When no option is given the program reads every page of the file and writes the text as plain text with "
            "the reading layout in a file beside it.\n");
}

}  // namespace
