// PDF objects, their structure and the object parser.
#include "uPDFStructure.h"

#include <gtest/gtest.h>

#include "uPDFFlate.h"
#include "uPDFLZW.h"

#include <zlib.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace {

// Parses Text and writes the result back compactly; "<absent>" when nothing
// was read.
std::string Reparse(std::string_view Text) {
  TPDFStructure S;
  S.MultiLineOutput = false;
  TPDFObject* Obj = S.ParseObject(Text);
  return Obj ? Obj->ToText() : "<absent>";
}

int NestingDepth(const TPDFObject* Obj) {
  int Depth = 0;
  while (Obj) {
    const TPDFObject* Next = nullptr;
    if (auto* A = As<TPDFArray>(Obj)) Next = A->GetItem(0);
    else if (auto* D = As<TPDFDictionary>(Obj)) Next = D->PairAt(0).second;
    else break;
    ++Depth;
    Obj = Next;
  }
  return Depth;
}

// ---------------------------------------------------------------- parser

TEST(ParseObject, ObjectsAndWhatEndsThem) {
  struct Case {
    std::string Text, Expected;
  } Cases[] = {
      // dictionaries
      {"<</A 1 /A 2>>", "<< /A 2 >>\n"},                   // repeated key: later value, first place
      {"<< /A 1 /B 2 /A 3 >>", "<<\n/A 3\n/B 2\n>>\n"},
      {"<</A>>", "<< >>\n"},                               // a key without value
      {"<</A 1 /B", "<< /A 1 >>\n"},                       // cut short
      {"<<1 2 /A 3>>", "<< >>\n"},                         // first key not a name
      {"<<>>", "<< >>\n"},                                 // four bytes are enough
      {"<</D<</E[1]>>>>", "<< /D << /E [ 1 ] >>\n >>\n"},
      // references and numbers
      {"[1 0 R 5]", "[ 1 0 R 5 ]"},
      {"[1 0 5]", "[ 1 0 5 ]"},
      {"1 0 obj", "1"},
      {"1 0 R", "1 0 R"},
      {"1 0 Rx", "1 0 R"},                                 // the byte after R is not examined
      {"1 % note\n 0 R", "1 0 R"},
      {"[1 2.5 R]", "[ 1 2 R ]"},                          // generation truncated
      {"[1.0 2 R]", "[ 1 2 ]"},                            // reading stops at R
      {"[1 -2 R]", "[ 1 -2 ]"},
      {"1 0", "1"},
      {"-5", "-5"},
      {"4.", "4"},
      {".5", "0.5"},
      {"-.5", "-0.5"},
      {"[--3]", "[ 0 -3 ]"},                               // "-" alone is 0
      {"[1.2.3]", "[ 1.2 0.3 ]"},
      {"+5", "<absent>"},
      {"2147483648", "0"},
      {"-2147483648", "-2147483648"},
      // arrays
      {"[]", "<absent>"},                                  // too short for an array
      {"[] ", "[ ]"},
      {"[1 2", "[ 1 2 ]"},
      {"[1 ) 2]", "[ 1 ]"},                                // a stray byte ends the array
      // keywords
      {"true", "true"},
      {"true]", "true"},
      {"truex", "<absent>"},
      {"true}", "<absent>"},                               // } is not a delimiter
      {"[true false null]", "[ true false null ]"},
      {"nullx", "<absent>"},
      // names
      {"/A#42", "/AB"},
      {"/A#4G", "/A#234G"},                                // "#" kept, written escaped
      {"/A/B", "/A"},
      {"/", "/"},
      // strings and the rest
      {"<>", "<absent>"},
      {"<4>", "<40>"},
      {"% comment line\r\n/Name", "/Name"},
      {"", "<absent>"},
      {"   ", "<absent>"},
      {"endobj", "<absent>"},
  };
  for (const auto& C : Cases) EXPECT_EQ(Reparse(C.Text), C.Expected) << '"' << C.Text << '"';
}

TEST(ParseObject, LiteralStrings) {
  struct Case {
    std::string Text, Expected;
  } Cases[] = {
      {"(a\\)b)", "a)b"},
      {"(a(b)c)", "a(b)c"},                    // balanced parentheses stay
      {"(\\101\\7)", "A\x07"},
      {"(\\0011)", std::string("\x01") + "1"}, // at most three digits
      {"(\\8)", "\x08"},                       // 8 and 9 count with their face value
      {"(\\99)", "Q"},
      {"(\\q)", "\\q"},                        // unknown escape keeps both bytes
      {"(\\n\\r\\t\\b\\f\\\\)", "\n\r\t\b\f\\"},
      {"(a\r\nb)", "a\nb"},
      {"(a\rb)", "a\nb"},
      {"(a\\\r\nb)", "ab"},
      {"(a\\\nb)", "ab"},
      {"(a\\)", "a\\"},                        // a backslash among the last two bytes escapes nothing
      {"(a\\))", "a)"},
  };
  for (const auto& C : Cases) {
    TPDFStructure S;
    auto* Str = As<TPDFString>(S.ParseObject(C.Text));
    ASSERT_NE(Str, nullptr) << C.Text;
    EXPECT_EQ(Str->Value(), C.Expected) << C.Text;
    EXPECT_EQ(Str->IsHex, 0);
  }
  TPDFStructure S;
  EXPECT_EQ(S.ParseObject("(abc"), nullptr);
  EXPECT_EQ(S.ParseObject("(a(b)"), nullptr);
}

TEST(ParseObject, HexStrings) {
  struct Case {
    std::string Text, Expected;
  } Cases[] = {
      {"<48 65 6c6c 6F>", "Hello"},
      {"<414>", "A@"},
      {"<4x1>", "A"},
      {"<41", "@"},  // no ">": the last byte of the text is not a digit
      {"<<>", ""},
  };
  for (const auto& C : Cases) {
    TPDFStructure S;
    auto* Str = As<TPDFString>(S.ParseObject(C.Text));
    ASSERT_NE(Str, nullptr) << C.Text;
    EXPECT_EQ(Str->Value(), C.Expected) << C.Text;
    EXPECT_EQ(Str->IsHex, 1);
  }
}

TEST(ParseObject, DictionaryEndPos) {
  TPDFStructure S;
  auto* D = As<TPDFDictionary>(S.ParseObject(" <</Length 5>>stream\nhello"));
  ASSERT_NE(D, nullptr);
  EXPECT_EQ(D->EndPos, 15);  // 1-based, just after ">>"
  auto* Cut = As<TPDFDictionary>(S.ParseObject("<</A 1 stream"));
  ASSERT_NE(Cut, nullptr);
  EXPECT_EQ(Cut->EndPos, 8);  // where the parse stopped
}

TEST(ParseObject, ManyKeysWithRepeats) {
  // Large dictionaries find repeats through an index; the result must be the
  // same as for small ones.
  std::string Text = "<<";
  for (int I = 0; I < 40; ++I) Text += "/K" + std::to_string(I) + " " + std::to_string(I) + " ";
  Text += "/K5 500 /K30 3000 /K5 5000>>";
  TPDFStructure S;
  auto* D = As<TPDFDictionary>(S.ParseObject(Text));
  ASSERT_NE(D, nullptr);
  EXPECT_EQ(D->Count(), 40);
  EXPECT_EQ(D->IndexOfKey("K5"), 5);
  EXPECT_EQ(D->GetInteger("K5", -1), 5000);
  EXPECT_EQ(D->GetInteger("K30", -1), 3000);
  EXPECT_EQ(D->PairAt(39).first->Value(), "K39");
}

TEST(ParseObject, DeepNestingIsCutNotFatal) {
  for (std::string Open : {"[", "<</A "}) {
    std::string Text;
    for (int I = 0; I < 1000000; ++I) Text += Open;
    TPDFStructure S;
    TPDFObject* Obj = S.ParseObject(Text);
    ASSERT_NE(Obj, nullptr) << Open;
    EXPECT_LE(NestingDepth(Obj), MaxObjectDepth);
    EXPECT_LT(S.ObjectCount(), 2000u);
    EXPECT_FALSE(Obj->ToText().empty());
  }
  // Nesting within the limit is read whole.
  std::string Text(100, '[');
  Text += "1";
  Text += std::string(100, ']');
  TPDFStructure S;
  EXPECT_EQ(NestingDepth(S.ParseObject(Text)), 100);
}

TEST(ParseObject, UnterminatedStringsInDeepArraysStayLinear) {
  // Every level asks again for the same unterminated string; the parser must
  // not rescan it per level.
  std::string Text(200, '[');
  Text += std::string(200000, '(');
  TPDFStructure S;
  EXPECT_NE(S.ParseObject(Text), nullptr);
}

// ---------------------------------------------------------------- writing

TEST(ToText, Scalars) {
  TPDFStructure S;
  struct Case {
    double Value;
    const char* Expected;
  } Numbers[] = {{10, "10"}, {0, "0"}, {0.5, "0.5"}, {1234.56789, "1234.5678"}, {0.123456, "0.1234"},
                 {1e15, "0"}, {1e20, "0"}, {1e-5, "0"}, {-2.5, "-2.5"}, {2, "2"}};
  for (const auto& C : Numbers) EXPECT_EQ(S.NewNumber(C.Value)->ToText(), C.Expected) << C.Value;

  EXPECT_EQ(S.NewName(std::string("A #", 3))->ToText(), "/A#20#23");
  EXPECT_EQ(S.NewName("a/b(c)%[]{}<>\x7F\xE9")->ToText(), "/a#2Fb#28c#29#25#5B#5D#7B#7D#3C#3E#7F#E9");
  EXPECT_EQ(S.NewString("a(b)\\\n\r\t\b\f")->ToText(), "(a\\(b\\)\\\\\\n\\r\\t\\b\\f)");
  EXPECT_EQ(S.NewString(std::string("\x00\xAB", 2), 1)->ToText(), "<00AB>");
  EXPECT_EQ(S.NewBoolean(true)->ToText(), "true");
  EXPECT_EQ(S.NewNull()->ToText(), "null");
  EXPECT_EQ(S.NewIndRef(12, 3)->ToText(), "12 3 R");

  S.NumberDecimals = 2;
  EXPECT_EQ(S.NewNumber(1.23456)->ToText(), "1.23");
}

TEST(ToText, DictionaryLayout) {
  TPDFStructure S;
  auto* One = S.NewDictionary();
  One->SetValue("A", S.NewNumber(1));
  EXPECT_EQ(One->ToText(), "<<\n/A 1\n>>\n");  // multi-line by default
  S.MultiLineOutput = false;
  EXPECT_EQ(One->ToText(), "<< /A 1 >>\n");
  One->SetValue("B", S.NewName("X"));
  EXPECT_EQ(One->ToText(), "<<\n/A 1\n/B /X\n>>\n");
  EXPECT_EQ(S.NewDictionary()->ToText(), "<< >>\n");
}

TEST(ToText, ArraysBreakAfterEightyCharacters) {
  TPDFStructure S;
  auto* A = S.NewArray();
  for (int I = 0; I < 30; ++I) A->Add(S.NewNumber(1000 + I));
  std::string Text = A->ToText();
  ASSERT_EQ(Text.substr(0, 7), "[ 1000 ");
  EXPECT_EQ(Text.back(), ']');
  size_t FirstBreak = Text.find('\n');
  ASSERT_NE(FirstBreak, std::string::npos);
  EXPECT_EQ(FirstBreak, 82u);  // "[ " and 16 numbers of five bytes: 82 > 80
  // The line after a break does not start with a space.
  EXPECT_EQ(Text[FirstBreak + 1], '1');
}

TEST(ToText, StreamAndRoundTrip) {
  TPDFStructure S;
  TPDFStream* Stream = S.NewStream("abc");
  EXPECT_EQ(Stream->ToText(), "<<\n/Length 3\n>>\nstream\nabc\nendstream");

  const std::string Text = "<< /Type /Page /Kids [ 1 0 R 2 0 R ] /S (a\\)b) /H <00FF> /N null /F 1.5 >>";
  TPDFStructure A, B;
  std::string Once = A.ParseObject(Text)->ToText();
  EXPECT_EQ(B.ParseObject(Once)->ToText(), Once);
}

// ---------------------------------------------------------------- numbers

TEST(TPDFNumeric, IntValueRoundsHalfToEven) {
  TPDFStructure S;
  struct Case {
    double Value;
    int32_t Expected;
  } Cases[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {0.49, 0}, {-7.6, -8},
               {1e20, INT32_MAX}, {-1e20, INT32_MIN}, {std::numeric_limits<double>::quiet_NaN(), 0}};
  for (const auto& C : Cases) EXPECT_EQ(S.NewNumber(C.Value)->IntValue(), C.Expected) << C.Value;
}

// ---------------------------------------------------------------- dictionaries

TEST(TPDFDictionary, SetValueKeepsPlaceAndIgnoresItself) {
  TPDFStructure S;
  auto* D = As<TPDFDictionary>(S.ParseObject("<</A 1 /B 2 /C 3>>"));
  D->SetValue("B", S.NewNumber(20));
  ASSERT_EQ(D->Count(), 3);
  EXPECT_EQ(D->PairAt(1).first->Value(), "B");
  EXPECT_EQ(D->GetInteger("B", 0), 20);
  D->SetValue("D", D);
  EXPECT_EQ(D->Count(), 3);
  D->SetValue("D", S.NewNull());
  EXPECT_EQ(D->Count(), 4);
  EXPECT_EQ(D->PairAt(7).first, nullptr);
  EXPECT_EQ(D->PairAt(-1).second, nullptr);
}

TEST(TPDFDictionary, TypedGettersAreTotal) {
  TPDFStructure S;
  auto* Target = S.NewNumber(42);
  S.OnResolveReference = [&](TPDFIndRef*, int32_t Number, int32_t) -> TPDFObject* {
    return Number == 7 ? static_cast<TPDFObject*>(Target) : nullptr;
  };
  auto* D = As<TPDFDictionary>(S.ParseObject("<</Type /Page /N 2.5 /R 7 0 R /Bad 8 0 R /S (txt) /M /Nm /T true>>"));
  ASSERT_NE(D, nullptr);
  EXPECT_EQ(D->GetTypeName(), "Page");
  EXPECT_EQ(D->GetInteger("N", -1), 2);
  EXPECT_EQ(D->GetInteger("R", -1), 42);  // resolved once
  EXPECT_EQ(D->GetInteger("Bad", -1), -1);
  EXPECT_EQ(D->GetInteger("T", -1), -1);
  EXPECT_EQ(D->GetInteger("Missing", -1), -1);
  EXPECT_EQ(D->GetText("S"), "txt");
  EXPECT_EQ(D->GetText("M"), "Nm");
  EXPECT_EQ(D->GetText("N"), "");
  EXPECT_TRUE(As<TPDFIndRef>(D->GetValue("R", false)));

  auto* NoType = As<TPDFDictionary>(S.ParseObject("<</Type (Page)>>"));
  EXPECT_EQ(NoType->GetTypeName(), "");
}

TEST(TPDFDictionary, ResolveFollowsOneLevelOnly) {
  TPDFStructure S;
  auto* Second = S.NewIndRef(2, 0);
  S.OnResolveReference = [&](TPDFIndRef*, int32_t Number, int32_t) -> TPDFObject* {
    return Number == 1 ? static_cast<TPDFObject*>(Second) : S.NewNumber(9);
  };
  auto* D = As<TPDFDictionary>(S.ParseObject("<</X 1 0 R>>"));
  EXPECT_EQ(D->GetValue("X", true), Second);

  TPDFStructure NoResolver;
  auto* Ref = As<TPDFIndRef>(NoResolver.ParseObject("1 0 R"));
  EXPECT_EQ(Ref->Resolve(), nullptr);
}

TEST(TPDFDictionary, RemoveDeleteClearAndAssign) {
  TPDFStructure S;
  auto* D = As<TPDFDictionary>(S.ParseObject("<</A 1 /B [1 2] /C << /X 1 >> /D 4>>"));
  D->RemoveKey("A");
  D->DeleteKey("B");
  D->DeleteKey("Missing");
  ASSERT_EQ(D->Count(), 2);
  EXPECT_EQ(D->PairAt(0).first->Value(), "C");

  auto* Copy = S.NewDictionary();
  Copy->Assign(D);  // same structure: the same objects are shared
  EXPECT_EQ(Copy->GetValue("D", false), D->GetValue("D", false));

  TPDFStructure Other;
  auto* Foreign = Other.NewDictionary();
  Foreign->Assign(D);  // across structures: through text
  ASSERT_EQ(Foreign->Count(), 2);
  EXPECT_NE(Foreign->GetValue("D", false), D->GetValue("D", false));
  EXPECT_EQ(Foreign->GetValue("D", false)->Structure(), &Other);
  EXPECT_EQ(Foreign->GetInteger("D", 0), 4);

  D->ClearEntries();
  EXPECT_EQ(D->Count(), 0);
  EXPECT_EQ(Copy->Count(), 2);
}

TEST(TPDFObject, ShiftNumbersAndContains) {
  TPDFStructure S;
  auto* D = As<TPDFDictionary>(S.ParseObject("<</A 1 0 R /B [2 0 R << /C 3 0 R >>] /N 5>>"));
  D->ShiftNumbers(10);
  EXPECT_EQ(D->ToText(), "<<\n/A 11 0 R\n/B [ 12 0 R <<\n/C 13 0 R\n>>\n]\n/N 5\n>>\n");
  TPDFObject* B = D->GetValue("B", false);
  EXPECT_TRUE(D->Contains(B));
  EXPECT_TRUE(D->Contains(D->PairAt(0).first));
  EXPECT_FALSE(D->Contains(As<TPDFArray>(B)->GetItem(0)));  // not a direct child
  TPDFStream* Stream = S.NewStream("x");
  Stream->Dictionary()->SetValue("K", B);
  EXPECT_TRUE(Stream->Contains(B));
}

// ---------------------------------------------------------------- arrays

TEST(TPDFArray, EditingOperations) {
  TPDFStructure S;
  auto* A = As<TPDFArray>(S.ParseObject("[1 2 3 4]"));
  auto Text = [&] { return A->ToText(); };
  A->ReserveSlots(100);
  A->Delete(0);
  EXPECT_EQ(A->Count(), 3);
  A->Insert(3, S.NewNumber(5));
  A->Insert(9, S.NewNumber(6));  // out of range: nothing
  EXPECT_EQ(Text(), "[ 2 3 4 5 ]");
  A->Move(0, 3);
  EXPECT_EQ(Text(), "[ 3 4 5 2 ]");
  A->Move(3, 1);
  EXPECT_EQ(Text(), "[ 3 2 4 5 ]");
  A->Move(0, 4);
  EXPECT_EQ(Text(), "[ 3 2 4 5 ]");
  auto* Four = S.NewNumber(4);
  EXPECT_EQ(A->IndexOfText(Four), 2);
  EXPECT_TRUE(A->ContainsText("5"));
  A->Remove(Four, false);  // not the same object: nothing
  EXPECT_EQ(A->Count(), 4);
  A->Remove(Four, true);
  EXPECT_EQ(Text(), "[ 3 2 5 ]");
  A->SetItem(0, S.NewName("X"));
  A->SetItem(3, S.NewName("Y"));
  EXPECT_EQ(Text(), "[ /X 2 5 ]");
  EXPECT_EQ(A->GetItem(-1), nullptr);
  EXPECT_EQ(A->GetItem(3), nullptr);
}

// ---------------------------------------------------------------- structure

TEST(TPDFStructure, FreeObjectKeepsHeldObjects) {
  TPDFStructure S;
  auto* D = As<TPDFDictionary>(S.ParseObject("<</A [1 2] /B 3>>"));
  const size_t Before = S.ObjectCount();
  TPDFObject* Arr = D->GetValue("A", false);
  S.FreeObject(Arr, false);  // held by D
  EXPECT_EQ(S.ObjectCount(), Before);
  D->DeleteKey("A");  // the pair is asked for while D still holds it
  EXPECT_EQ(S.ObjectCount(), Before);
  S.FreeObject(Arr, false);  // nobody holds it now
  EXPECT_EQ(S.ObjectCount(), Before - 1);

  D->Release();  // the top object goes, its children stay with the structure
  EXPECT_EQ(S.ObjectCount(), Before - 2);

  auto* Shared = S.NewSharedName("Length");
  S.FreeObject(Shared, false);
  EXPECT_EQ(S.FindName("Length"), Shared);
  S.FreeObject(Shared, true);
  EXPECT_EQ(S.FindName("Length"), nullptr);

  TPDFStructure Other;
  TPDFObject* Foreign = Other.NewNull();
  const size_t Count = S.ObjectCount();
  S.FreeObject(Foreign, true);
  EXPECT_EQ(S.ObjectCount(), Count);
  EXPECT_EQ(Other.ObjectCount(), 1u);
}

TEST(TPDFStructure, StreamReleaseTakesItsDictionary) {
  TPDFStructure S;
  TPDFStream* Stream = S.NewStream("data");
  const size_t Before = S.ObjectCount();  // dictionary, stream, length, key name
  Stream->Release();
  EXPECT_EQ(S.ObjectCount(), Before - 2);

  TPDFStream* Other = S.NewStream("x");
  TPDFDictionary* First = Other->Dictionary();
  S.FreeObject(First, false);  // the stream holds its dictionary
  EXPECT_EQ(Other->Dictionary()->Count(), 1);
  auto* Replacement = S.NewDictionary();
  Other->SetDictionary(Replacement);
  EXPECT_EQ(Other->Dictionary(), Replacement);
}

TEST(TPDFStructure, TableKeepsCreationOrderThroughFrees) {
  TPDFStructure S;
  std::vector<TPDFObject*> Made;
  for (int I = 0; I < 10; ++I) Made.push_back(S.NewNumber(I));
  S.FreeObject(Made[3], false);
  S.FreeObject(Made[7], false);
  ASSERT_EQ(S.ObjectCount(), 8u);
  EXPECT_EQ(S.ObjectAt(3), Made[4]);
  EXPECT_EQ(S.ObjectAt(6), Made[8]);
  EXPECT_EQ(S.ObjectAt(8), nullptr);
  EXPECT_EQ(S.ObjectAt(-1), nullptr);
  S.FreeObject(Made[3], false);  // already gone: nothing
  EXPECT_EQ(S.ObjectCount(), 8u);
  S.ReserveSlots(5000);
  EXPECT_GE(S.SpareSlots(), 5000u);
  S.Clear();
  EXPECT_EQ(S.ObjectCount(), 0u);
  EXPECT_EQ(S.NumberDecimals, 4);
}

TEST(TPDFStructure, SharedNamesAndFindName) {
  TPDFStructure S;
  auto* D = As<TPDFDictionary>(S.ParseObject("<</Type /Page /Foo 1>>"));
  TPDFName* ParsedType = D->PairAt(0).first;
  EXPECT_FALSE(ParsedType->Shared);
  // A listed key reuses the first name object with its value...
  TPDFName* Type = S.NewSharedName("Type");
  EXPECT_EQ(Type, ParsedType);
  EXPECT_TRUE(Type->Shared);
  // ...an unlisted one is new every time, and shared too.
  TPDFName* Foo = S.NewSharedName("Foo");
  EXPECT_NE(Foo, D->PairAt(1).first);
  EXPECT_TRUE(Foo->Shared);
  EXPECT_NE(S.NewSharedName("Foo"), Foo);
  // Only whole list entries count.
  EXPECT_EQ(S.FindName("Page"), D->PairAt(0).second);

  // FindName follows value changes and frees, keeping creation order.
  TPDFName* Later = S.NewName("Zed");
  TPDFName* Earlier = As<TPDFName>(D->PairAt(0).second);  // "/Page", made before Later
  EXPECT_EQ(S.FindName("Zed"), Later);
  Earlier->SetValue("Zed");
  EXPECT_EQ(S.FindName("Zed"), Earlier);
  EXPECT_EQ(S.FindName("Page"), nullptr);
  D->ClearEntries();
  S.FreeObject(Earlier, false);
  EXPECT_EQ(S.FindName("Zed"), Later);
  EXPECT_EQ(S.FindName("Nothing"), nullptr);
}

TEST(TPDFStructure, NumberArraysAndStreams) {
  TPDFStructure S;
  EXPECT_EQ(S.NewNumberArray(std::vector<int>{1, 2})->ToText(), "[ 1 2 ]");
  EXPECT_EQ(S.NewNumberArray(std::vector<double>{0.5, -1})->ToText(), "[ 0.5 -1 ]");
  auto* N = S.NewNumber(7);
  auto* A = S.NewNumberArray(std::vector<TPDFNumeric*>{N, N});
  EXPECT_EQ(A->GetItem(1), N);

  TPDFStream* Stream = S.NewStream("12345");
  EXPECT_EQ(Stream->Dictionary()->GetInteger("Length", 0), 5);
  Stream->SetRawData("ab");
  EXPECT_EQ(Stream->Dictionary()->GetInteger("Length", 0), 2);
  Stream->Dictionary()->SetValue("Length", S.NewIndRef(9, 0));
  Stream->SetRawData("abc");
  EXPECT_EQ(Stream->Dictionary()->GetInteger("Length", 0), 3);

  std::string Plain(1000, 'x');
  Stream->SetData(Plain, true);
  EXPECT_EQ(Stream->Dictionary()->GetText("Filter"), "FlateDecode");
  std::string Inflated(Plain.size(), '\0');
  uLongf Size = Inflated.size();
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(Inflated.data()), &Size,
                       reinterpret_cast<const Bytef*>(Stream->RawData().data()), Stream->RawData().size()),
            Z_OK);
  EXPECT_EQ(Inflated, Plain);
  Stream->SetData("plain", false);
  EXPECT_EQ(Stream->Dictionary()->GetValue("Filter"), nullptr);
  EXPECT_EQ(Stream->RawData(), "plain");

  std::istringstream File("file bytes");
  EXPECT_TRUE(Stream->LoadFromFile(File, false));
  EXPECT_EQ(Stream->RawData(), "file bytes");
  EXPECT_EQ(Stream->Dictionary()->GetInteger("Length", 0), 10);
}

// ---------------------------------------------------------------- rectangles, name trees

TEST(TPDFRectangle, NormalisesAndValidates) {
  TPDFStructure S;
  TPDFRectangle R(S.ParseObject("[10 20 5 8]"));
  ASSERT_TRUE(R.IsValid());
  EXPECT_EQ(R.Left(), 5);
  EXPECT_EQ(R.Right(), 10);
  EXPECT_EQ(R.Bottom(), 8);
  EXPECT_EQ(R.Top(), 20);
  EXPECT_EQ(R.Width(), 5);
  EXPECT_EQ(R.Height(), 12);
  const double Sides[] = {5, 20, 5, 12, 10, 8, 0};
  for (int K = 0; K < 7; ++K) EXPECT_EQ(R.Side(K), Sides[K]) << K;
  EXPECT_EQ(R.Side(0x80 | 4), 10);  // only the low seven bits count
  EXPECT_EQ(S.ParseObject("[10 20 5 8]")->ToText(), "[ 10 20 5 8 ]");  // the array is not changed

  for (const char* Bad : {"[1 2 3]", "[1 2 3 4 5]", "[1 0 R 2 0 R 3 0 R 4 0 R]", "[1 2 3 /x]", "<</A 1>>"})
    EXPECT_FALSE(TPDFRectangle(S.ParseObject(Bad)).IsValid()) << Bad;
  EXPECT_FALSE(TPDFRectangle(nullptr).IsValid());
  EXPECT_EQ(TPDFRectangle(nullptr).Width(), 0);
}

TEST(TPDFNameTree, FlatLeafList) {
  TPDFStructure S;
  auto* Root = As<TPDFDictionary>(S.ParseObject("<</Names [(b) 2 0 R (d) 4 0 R (e) 5]>>"));
  TPDFNameTree Tree(&S, Root);
  EXPECT_EQ(Tree.Count(), 3);
  EXPECT_EQ(Tree.Find("d")->Number, 4);
  EXPECT_EQ(Tree.Find("e"), nullptr);  // not a reference
  EXPECT_EQ(Tree.Find("x"), nullptr);
  Tree.Add("c", S.NewIndRef(3, 0));
  Tree.Add("a", S.NewIndRef(1, 0));
  Tree.Add("f", S.NewIndRef(6, 0));
  EXPECT_EQ(Tree.NameAt(1), "a");
  EXPECT_EQ(Tree.NameAt(3), "c");
  EXPECT_EQ(Tree.NameAt(6), "f");
  EXPECT_EQ(Tree.NameAt(7), "");
  EXPECT_EQ(Tree.Find("c")->Number, 3);

  auto* Empty = S.NewDictionary();
  TPDFNameTree New(&S, Empty);
  EXPECT_TRUE(As<TPDFArray>(Empty->GetValue("Names")));
  New.Add("k", S.NewIndRef(8, 0));
  EXPECT_TRUE(New.Contains("k"));
}

// ---------------------------------------------------------------- stream decoding

std::string EncodeASCII85(const std::string& Data) {
  std::string Out;
  for (size_t I = 0; I < Data.size(); I += 4) {
    size_t N = std::min<size_t>(4, Data.size() - I);
    uint32_t V = 0;
    for (size_t K = 0; K < 4; ++K) V = V * 256 + (K < N ? static_cast<unsigned char>(Data[I + K]) : 0);
    char Group[5];
    for (int K = 4; K >= 0; --K) {
      Group[K] = static_cast<char>('!' + V % 85);
      V /= 85;
    }
    Out.append(Group, N + 1);
    if (I % 40 == 36) Out += '\n';
  }
  return Out + "~>";
}

// A stream whose dictionary is parsed from DictText and whose stored bytes are Raw.
TPDFStream* MakeStream(TPDFStructure& S, std::string_view DictText, std::string Raw) {
  TPDFStream* Stream = S.NewStream(std::move(Raw));
  Stream->SetDictionary(As<TPDFDictionary>(S.ParseObject(DictText)));
  return Stream;
}

std::string Rows(std::initializer_list<int> Values) {
  std::string S;
  for (int V : Values) S += static_cast<char>(V);
  return S;
}

std::string Hex(const std::string& Bytes) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string Out;
  for (unsigned char C : Bytes) {
    Out += Digits[C >> 4];
    Out += Digits[C & 15];
  }
  return Out;
}

TEST(GetDecodedData, FilterChainsAndParameters) {
  const std::string Plain = "BT /F1 12 Tf (Hello world) Tj ET\n";
  const std::string Packed = DeflateBytes(Plain);
  // PNG rows of one tag byte and four data bytes (Up, then Sub).
  const std::string PngRows = Rows({2, 1, 2, 3, 4, 1, 1, 1, 1, 1});
  const std::string PngPacked = DeflateBytes(PngRows);
  const std::string Predicted = Rows({1, 2, 3, 4, 1, 2, 3, 4});
  struct Case {
    const char* Dict;
    std::string Raw, Expected;
  } Cases[] = {
      {"<</Filter /FlateDecode>>", Packed, Plain},
      {"<</Filter /Fl>>", Packed, Plain},
      {"<</Filter [/ASCII85Decode /FlateDecode]>>", EncodeASCII85(Packed), Plain},
      {"<</Filter [/A85]>>", EncodeASCII85(Plain), Plain},
      {"<</Filter /FlateDecode /DecodeParms [null]>>", Packed, Plain},
      {"<</Filter [/FlateDecode] /DecodeParms <</Predictor 12 /Columns 4>>>>", PngPacked, Predicted},
      {"<</Filter /FlateDecode /DP <</Predictor 12 /Columns 4>>>>", PngPacked, Predicted},
      {"<</Filter /FlateDecode /DecodeParms 5 /DP <</Predictor 12 /Columns 4>>>>", PngPacked, PngRows},
      {"<</Filter /FlateDecode /DecodeParms <</Predictor 12 /Columns 4 /BitsPerComponent 5>>>>", PngPacked, PngRows},
      {"<</Filter /FlateDecode /DecodeParms <</Predictor 12.2 /Columns 3.9 /Colors (x)>>>>", PngPacked, Predicted},
      // Non-name items are skipped, so later filters take earlier parameter slots.
      {"<</Filter [/Foo 5 /FlateDecode] /DecodeParms [null <</Predictor 12 /Columns 4>>]>>", PngPacked, Predicted},
      {"<</Filter /DCTDecode>>", "\xFF\xD8jpeg", "\xFF\xD8jpeg"},
      {"<</Filter [/FlateDecode /DCTDecode]>>", DeflateBytes("\xFF\xD8jpeg"), "\xFF\xD8jpeg"},
      {"<</Filter /ASCIIHexDecode>>", "42 54 0A>", "BT\n"},
      {"<</Filter [/AHx /FlateDecode]>>", Hex(Packed) + ">", Plain},
      {"<</Filter /RunLengthDecode>>", "\x01" "BT" "\xFE" " " "\x80", "BT   "},
      {"<</Filter [/AHx /RL /Crypt]>>", "0141 42 FE 43 80>", "ABCCC"},
      {"<</Filter [/FlateDecode /RL]>>", DeflateBytes("\x02" "abc" "\x80"), "abc"},
      {"<</Filter 7>>", Packed, Packed},
      {"<</Length 3>>", "abc", "abc"},
      {"<</Filter /FlateDecode>>", Packed.substr(0, 2), ""},
  };
  for (const auto& C : Cases) {
    TPDFStructure S;
    TPDFStream* Stream = MakeStream(S, C.Dict, C.Raw);
    EXPECT_EQ(Stream->GetDecodedData(), C.Expected) << C.Dict;
    // A limit gives the first bytes of the same result, whatever the chain.
    for (size_t Limit : {size_t{0}, size_t{1}, size_t{5}, size_t{1000}})
      EXPECT_EQ(Stream->GetDecodedData(Limit), C.Expected.substr(0, Limit)) << C.Dict << " limit " << Limit;
  }
}

TEST(GetDecodedData, ReferencesAreResolvedOnce) {
  TPDFStructure S;
  TPDFObject* FilterName = S.NewName("FlateDecode");
  TPDFObject* Parms = S.ParseObject("<</Predictor 12 /Columns 4>>");
  S.OnResolveReference = [&](TPDFIndRef*, int32_t N, int32_t) -> TPDFObject* {
    return N == 1 ? FilterName : N == 2 ? Parms : nullptr;
  };
  const std::string PngRows = Rows({2, 1, 2, 3, 4});
  EXPECT_EQ(MakeStream(S, "<</Filter 1 0 R /DecodeParms 2 0 R>>", DeflateBytes(PngRows))->GetDecodedData(),
            Rows({1, 2, 3, 4}));
  // Array items are not resolved.
  EXPECT_EQ(MakeStream(S, "<</Filter [1 0 R]>>", "raw")->GetDecodedData(), "raw");
}

TEST(GetDecodedData, LzwEarlyChangeFollowsTheParameters) {
  // Literal codes packed MSB first with the early-change width schedule: the
  // code that makes entry 510 is the last of 9 bits. Read without early change,
  // the widths part one code later.
  std::string Codes, Letters;
  uint32_t Acc = 0;
  int Bits = 0;
  auto Put = [&](uint32_t Code, int Width) {
    Acc = (Acc << Width) | Code;
    for (Bits += Width; Bits >= 8; Bits -= 8) Codes += static_cast<char>((Acc >> (Bits - 8)) & 0xFF);
  };
  for (int K = 0; K < 600; ++K) {
    Letters += static_cast<char>('a' + K % 26);
    Put('a' + K % 26, K <= 253 ? 9 : 10);
  }
  Put(257, 10);
  Put(0, 8);
  auto Decode = [&](bool Early) {
    TPDFLZWDecompressor D;
    D.EarlyChange = Early;
    return D.Decode(Codes);
  };
  const std::string On = Decode(true), Off = Decode(false);
  ASSERT_EQ(On, Letters);
  ASSERT_NE(On, Off);
  // The predictor undone after the early-change choice, as for Flate.
  const std::string OffPredicted = ApplyPredictor(Off, 12, 1, 8, 4);
  struct Case {
    const char* Dict;
    const std::string& Expected;
  } Cases[] = {
      {"<</Filter /LZWDecode>>", On},
      {"<</Filter /LZWDecode /DecodeParms <</EarlyChange 1>>>>", On},
      {"<</Filter /LZWDecode /DecodeParms <</EarlyChange /No>>>>", On},
      {"<</Filter /LZWDecode /DecodeParms <</EarlyChange 0>>>>", Off},
      {"<</Filter /LZWDecode /DecodeParms <</EarlyChange 2>>>>", Off},
      {"<</Filter /LZWDecode /DecodeParms <</EarlyChange 0 /Predictor 12 /Columns 4>>>>", OffPredicted},
  };
  for (const auto& C : Cases) {
    TPDFStructure S;
    EXPECT_EQ(MakeStream(S, C.Dict, Codes)->GetDecodedData(), C.Expected) << C.Dict;
  }
}

// LZW data under a predictor: the literal codes of 1 1 1 (clear code first,
// end-of-data last) are 1 2 3 after the TIFF predictor.
TEST(GetDecodedData, LzwPredictor) {
  const std::string Codes("\x80\x00\x40\x20\x18\x08", 6);
  TPDFStructure S;
  EXPECT_EQ(MakeStream(S, "<</Filter /LZWDecode>>", Codes)->GetDecodedData(), std::string("\1\1\1"));
  EXPECT_EQ(MakeStream(S, "<</Filter /LZWDecode /DecodeParms <</Predictor 2 /Columns 3>>>>", Codes)->GetDecodedData(),
            std::string("\1\2\3"));
}

TEST(GetDecodedData, DecodedSizeIsCapped) {
  // A small stream that claims far more than the cap stops at the cap.
  const std::string Bomb = DeflateBytes(std::string(64 << 20, 'x'));
  const std::string Twice = DeflateBytes(Bomb);
  TPDFStructure S;
  S.MaxDecodedSize = 1 << 20;
  for (const char* Dict : {"<</Filter /FlateDecode>>", "<</Filter /FlateDecode /DecodeParms <</Predictor 2>>>>"}) {
    std::string Out = MakeStream(S, Dict, Bomb)->GetDecodedData();
    EXPECT_EQ(Out, std::string(1 << 20, 'x')) << Dict;
  }
  EXPECT_EQ(MakeStream(S, "<</Filter [/FlateDecode /FlateDecode]>>", Twice)->GetDecodedData().size(), size_t{1} << 20);
  EXPECT_EQ(MakeStream(S, "<</Filter /ASCII85Decode>>", std::string(3 << 20, 'z') + "~>")->GetDecodedData().size(),
            size_t{1} << 20);
  std::string Runs;
  for (int I = 0; I < 10000; ++I) Runs += "\x81z";
  EXPECT_EQ(MakeStream(S, "<</Filter /RL>>", Runs)->GetDecodedData().size(), size_t{1} << 20);
  EXPECT_EQ(MakeStream(S, "<</Filter /AHx>>", std::string(3 << 20, 'a'))->GetDecodedData().size(), size_t{1} << 20);
}

}  // namespace
