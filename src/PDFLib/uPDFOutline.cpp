// A document's outline and the labels of its pages.
#include "uPDFOutline.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "uPDFDocument.h"
#include "uPDFMetadata.h"
#include "uPDFPageTree.h"
#include "uPDFStructure.h"

namespace {

// Keys of the catalog, the outline, destinations and the trees.
constexpr std::string_view KeyRoot = "Root";
constexpr std::string_view KeyOutlines = "Outlines";
constexpr std::string_view KeyFirst = "First";
constexpr std::string_view KeyNext = "Next";
constexpr std::string_view KeyTitle = "Title";
constexpr std::string_view KeyDest = "Dest";
constexpr std::string_view KeyDests = "Dests";
constexpr std::string_view KeyAction = "A";
constexpr std::string_view KeyActionType = "S";
constexpr std::string_view KeyActionDest = "D";
constexpr std::string_view KeyKids = "Kids";
constexpr std::string_view KeyNums = "Nums";
constexpr std::string_view KeyPageLabels = "PageLabels";
constexpr std::string_view KeyLabelStyle = "S";
constexpr std::string_view KeyLabelPrefix = "P";
constexpr std::string_view KeyLabelStart = "St";

// Outline items nested deeper than this are left out, with their children.
constexpr int MaxOutlineDepth = 64;
// The most outline items listed.
constexpr size_t MaxOutlineItems = 100000;
// Name and number trees nest no deeper than this; deeper nodes are skipped.
constexpr int MaxTreeDepth = 64;
// The most entries taken from a name or number tree.
constexpr size_t MaxTreeEntries = size_t{1} << 20;
// Page tree nodes nest no deeper than this (as deep as page lookups go).
constexpr size_t MaxPageTreeDepth = 256;
// Roman numerals up to this value; letters repeated at most this often.
constexpr int64_t MaxRomanValue = 9999;
constexpr int64_t MaxLetterRepeat = 100;

TPDFObject* Resolved(TPDFObject* Obj) {
  auto* Ref = As<TPDFIndRef>(Obj);
  return Ref ? Ref->Resolve() : Obj;
}

// Control characters (bytes below 0x20, and DEL) as spaces; the bytes of
// UTF-8 sequences are all above them.
std::string WithoutControls(std::string Text) {
  for (char& C : Text)
    if (static_cast<unsigned char>(C) < 0x20 || C == 0x7F) C = ' ';
  return Text;
}

std::string Trimmed(const std::string& Text) {
  const size_t First = Text.find_first_not_of(' ');
  if (First == std::string::npos) return {};
  return Text.substr(First, Text.find_last_not_of(' ') - First + 1);
}

// Decrypts what the catalog's Key reaches, as far as it has been read (the
// rest is decrypted as it is read once a password is accepted).
void DecryptBelow(TPDFDocument& Document, TPDFDictionary* Catalog, std::string_view Key) {
  if (auto* Ref = As<TPDFIndRef>(Catalog->GetValue(Key, false))) Document.DecryptReachable(Ref->Number, Ref->Generation);
}

TPDFDictionary* CatalogOf(TPDFDocument& Document) {
  TPDFDictionary* Trailer = Document.Trailer();
  return Trailer ? As<TPDFDictionary>(Trailer->GetValue(KeyRoot, true)) : nullptr;
}

// ================================================================ destinations
// Finds the page of a destination; the page numbers and the named
// destinations of the Names tree are collected on first need.
class TDestinationReader {
 public:
  TDestinationReader(TPDFDocument& Document, TPDFDictionary* Catalog) : FDocument(Document), FCatalog(Catalog) {}

  // The page of an outline item: its Dest, else its GoTo action's D.
  int32_t ItemPage(TPDFDictionary* Item) {
    if (TPDFObject* Dest = Item->GetValue(KeyDest, true)) return DestinationPage(Dest, true);
    auto* Action = As<TPDFDictionary>(Item->GetValue(KeyAction, true));
    if (!Action) return 0;
    const auto* Type = As<TPDFName>(Action->GetValue(KeyActionType, true));
    // Other actions (URI, GoToR, Launch ...) lead out of the document.
    if (!Type || Type->Value() != "GoTo") return 0;
    return DestinationPage(Action->GetValue(KeyActionDest, true), true);
  }

 private:
  // Dest: an explicit destination, or (when ByName) a name or string naming
  // one, or a dictionary whose D is one. What a name leads to is not looked
  // up by name again, so that names naming each other end.
  int32_t DestinationPage(TPDFObject* Dest, bool ByName) {
    Dest = Resolved(Dest);
    if (auto* Dict = As<TPDFDictionary>(Dest)) Dest = Resolved(Dict->GetValue(KeyActionDest, true));
    if (auto* Array = As<TPDFArray>(Dest)) return ExplicitPage(Array);
    if (!ByName) return 0;
    if (auto* Name = As<TPDFName>(Dest)) {
      TPDFObject* Found = FromDestsDictionary(Name->Value());
      return DestinationPage(Found ? Found : FromNameTree(Name->Value()), false);
    }
    if (auto* String = As<TPDFString>(Dest)) {
      TPDFObject* Found = FromNameTree(String->Value());
      return DestinationPage(Found ? Found : FromDestsDictionary(String->Value()), false);
    }
    return 0;
  }

  // [page /XYZ left top zoom]: the page as a reference to its dictionary, or
  // as a 0-based number.
  int32_t ExplicitPage(TPDFArray* Array) {
    TPDFObject* Target = Array->GetItem(0);
    if (auto* Number = As<TPDFNumeric>(Target)) {
      const int64_t Page = static_cast<int64_t>(Number->IntValue()) + 1;
      return Page >= 1 && Page <= PageCount() ? static_cast<int32_t>(Page) : 0;
    }
    auto* Page = As<TPDFDictionary>(Resolved(Target));
    if (!Page) return 0;
    const auto& Numbers = PageNumbers();
    const auto It = Numbers.find(Page);
    return It == Numbers.end() ? 0 : It->second;
  }

  TPDFObject* FromDestsDictionary(const std::string& Name) {
    auto* Dests = FCatalog ? As<TPDFDictionary>(FCatalog->GetValue(KeyDests, true)) : nullptr;
    return Dests ? Dests->GetValue(Name, true) : nullptr;
  }

  TPDFObject* FromNameTree(const std::string& Name) {
    if (!FNamedLoaded) LoadNameTree();
    const auto It = FNamed.find(Name);
    return It == FNamed.end() ? nullptr : It->second;
  }

  int32_t PageCount() {
    TPDFPageTree* Tree = FDocument.PageTree();
    return Tree ? Tree->PageCount() : 0;
  }

  // Each page dictionary with its number, from one walk of the page tree in
  // page order: a Kids item that is a reference to a Page is the next page,
  // one to a Pages node is entered. As in page lookups, each node is
  // entered once, items of another kind are passed over, and pages past
  // PageCount do not count.
  const std::unordered_map<const TPDFDictionary*, int32_t>& PageNumbers() {
    if (FPagesLoaded) return FPages;
    FPagesLoaded = true;
    TPDFPageTree* Tree = FDocument.PageTree();
    TPDFDictionary* Root = Tree ? Tree->Root() : nullptr;
    const int32_t Count = PageCount();
    if (!Root || Count <= 0) return FPages;
    std::unordered_set<const TPDFDictionary*> Entered = {Root};
    struct TLevel {
      TPDFArray* Kids;
      size_t Next;
    };
    std::vector<TLevel> Path;
    if (auto* Kids = As<TPDFArray>(Root->GetValue(KeyKids, true))) Path.push_back({Kids, 0});
    int32_t Number = 0;
    while (!Path.empty() && Number < Count) {
      TLevel& Level = Path.back();
      if (Level.Next >= Level.Kids->Items().size()) {
        Path.pop_back();
        continue;
      }
      auto* Ref = As<TPDFIndRef>(Level.Kids->Items()[Level.Next++]);
      auto* Dict = Ref ? As<TPDFDictionary>(Ref->Resolve()) : nullptr;
      if (!Dict) continue;
      const std::string Type = Dict->GetTypeName();
      if (Type == "Page") {
        ++Number;
        FPages.try_emplace(Dict, Number);  // a page listed twice keeps its first number
      } else if (Type == "Pages" && Path.size() < MaxPageTreeDepth && Entered.insert(Dict).second) {
        if (auto* Kids = As<TPDFArray>(Dict->GetValue(KeyKids, true))) Path.push_back({Kids, 0});
      }
    }
    return FPages;
  }

  // The catalog's Names tree's Dests: every key with its value, the first of
  // a key written twice kept.
  void LoadNameTree() {
    FNamedLoaded = true;
    auto* Names = FCatalog ? As<TPDFDictionary>(FCatalog->GetValue(PDFKey::Names, true)) : nullptr;
    auto* Root = Names ? As<TPDFDictionary>(Names->GetValue(KeyDests, true)) : nullptr;
    if (!Root) return;
    std::unordered_set<const TPDFDictionary*> Entered = {Root};
    std::vector<std::pair<TPDFDictionary*, int>> Pending = {{Root, 0}};
    while (!Pending.empty() && FNamed.size() < MaxTreeEntries) {
      auto [Node, Depth] = Pending.back();
      Pending.pop_back();
      if (auto* Pairs = As<TPDFArray>(Node->GetValue(PDFKey::Names, true)))
        for (int I = 0; I + 1 < Pairs->Count() && FNamed.size() < MaxTreeEntries; I += 2)
          if (auto* Key = As<TPDFString>(Resolved(Pairs->GetItem(I))))
            FNamed.try_emplace(Key->Value(), Pairs->GetItem(I + 1));
      auto* Kids = As<TPDFArray>(Node->GetValue(KeyKids, true));
      if (!Kids || Depth >= MaxTreeDepth) continue;
      // Pushed last to first, so that the first kid is read first.
      for (auto It = Kids->Items().rbegin(); It != Kids->Items().rend(); ++It)
        if (auto* Kid = As<TPDFDictionary>(Resolved(*It)); Kid && Entered.insert(Kid).second)
          Pending.emplace_back(Kid, Depth + 1);
    }
  }

  TPDFDocument& FDocument;
  TPDFDictionary* FCatalog;
  bool FPagesLoaded = false;
  std::unordered_map<const TPDFDictionary*, int32_t> FPages;
  bool FNamedLoaded = false;
  std::unordered_map<std::string, TPDFObject*> FNamed;
};

// ================================================================ page labels

// The ranges of the PageLabels number tree: (first page index, label
// dictionary), sorted by page, the first of a page written twice kept.
std::vector<std::pair<int64_t, TPDFDictionary*>> LabelRanges(TPDFDictionary* Root) {
  std::vector<std::pair<int64_t, TPDFDictionary*>> Ranges;
  std::unordered_set<const TPDFDictionary*> Entered = {Root};
  std::vector<std::pair<TPDFDictionary*, int>> Pending = {{Root, 0}};
  while (!Pending.empty() && Ranges.size() < MaxTreeEntries) {
    auto [Node, Depth] = Pending.back();
    Pending.pop_back();
    if (auto* Nums = As<TPDFArray>(Node->GetValue(KeyNums, true)))
      for (int I = 0; I + 1 < Nums->Count() && Ranges.size() < MaxTreeEntries; I += 2) {
        const auto* Key = As<TPDFNumeric>(Resolved(Nums->GetItem(I)));
        auto* Label = As<TPDFDictionary>(Resolved(Nums->GetItem(I + 1)));
        if (Key && Label && Key->IntValue() >= 0) Ranges.emplace_back(Key->IntValue(), Label);
      }
    auto* Kids = As<TPDFArray>(Node->GetValue(KeyKids, true));
    if (!Kids || Depth >= MaxTreeDepth) continue;
    for (auto It = Kids->Items().rbegin(); It != Kids->Items().rend(); ++It)
      if (auto* Kid = As<TPDFDictionary>(Resolved(*It)); Kid && Entered.insert(Kid).second)
        Pending.emplace_back(Kid, Depth + 1);
  }
  std::stable_sort(Ranges.begin(), Ranges.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
  Ranges.erase(std::unique(Ranges.begin(), Ranges.end(), [](const auto& A, const auto& B) { return A.first == B.first; }),
               Ranges.end());
  return Ranges;
}

std::string Roman(int64_t Value, bool Upper) {
  static constexpr std::pair<int64_t, const char*> Digits[] = {
      {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"},
      {50, "l"},   {40, "xl"},  {10, "x"},  {9, "ix"},   {5, "v"},   {4, "iv"}, {1, "i"}};
  std::string Out;
  for (const auto& [Step, Text] : Digits)
    for (; Value >= Step; Value -= Step) Out += Text;
  if (Upper)
    for (char& C : Out) C = static_cast<char>(C - 'a' + 'A');
  return Out;
}

}  // namespace

std::string PageLabelNumber(int64_t Value, char Style) {
  switch (Style) {
    case 'D':
      return std::to_string(Value);
    case 'R':
    case 'r':
      return Value < 1 || Value > MaxRomanValue ? std::to_string(Value) : Roman(Value, Style == 'R');
    case 'A':
    case 'a':
      if (Value < 1 || Value > 26 * MaxLetterRepeat) return std::to_string(Value);
      return std::string(static_cast<size_t>((Value - 1) / 26 + 1),
                         static_cast<char>((Style == 'A' ? 'A' : 'a') + (Value - 1) % 26));
    default:
      return {};
  }
}

std::vector<TPDFOutlineItem> ReadOutline(TPDFDocument& Document) {
  std::vector<TPDFOutlineItem> Items;
  TPDFDictionary* Catalog = CatalogOf(Document);
  if (!Catalog) return Items;
  for (std::string_view Key : {KeyOutlines, KeyDests, PDFKey::Names}) DecryptBelow(Document, Catalog, Key);
  auto* Root = As<TPDFDictionary>(Catalog->GetValue(KeyOutlines, true));
  if (!Root) return Items;
  TDestinationReader Destinations(Document, Catalog);
  // Items listed (and the root): an item met again ends the chain that led
  // to it. Pending holds the items still to list with their level, the
  // next one at the back.
  std::unordered_set<const TPDFDictionary*> Seen = {Root};
  std::vector<std::pair<TPDFDictionary*, int>> Pending;
  if (auto* First = As<TPDFDictionary>(Root->GetValue(KeyFirst, true))) Pending.emplace_back(First, 1);
  while (!Pending.empty() && Items.size() < MaxOutlineItems) {
    auto [Item, Level] = Pending.back();
    Pending.pop_back();
    if (!Seen.insert(Item).second) continue;
    const auto* Title = As<TPDFString>(Item->GetValue(KeyTitle, true));
    Items.push_back({Level, Title ? Trimmed(WithoutControls(TextStringToUTF8(Title->Value()))) : std::string(),
                     Destinations.ItemPage(Item)});
    // The next sibling waits under the children.
    if (auto* Next = As<TPDFDictionary>(Item->GetValue(KeyNext, true))) Pending.emplace_back(Next, Level);
    if (Level < MaxOutlineDepth)
      if (auto* First = As<TPDFDictionary>(Item->GetValue(KeyFirst, true))) Pending.emplace_back(First, Level + 1);
  }
  return Items;
}

std::vector<std::string> ReadPageLabels(TPDFDocument& Document) {
  std::vector<std::string> Labels;
  TPDFDictionary* Catalog = CatalogOf(Document);
  if (!Catalog) return Labels;
  DecryptBelow(Document, Catalog, KeyPageLabels);
  auto* Root = As<TPDFDictionary>(Catalog->GetValue(KeyPageLabels, true));
  if (!Root) return Labels;
  const auto Ranges = LabelRanges(Root);
  if (Ranges.empty()) return Labels;
  TPDFPageTree* Tree = Document.PageTree();
  const int32_t Count = Tree ? Tree->PageCount() : 0;
  Labels.reserve(static_cast<size_t>(std::max(0, Count)));
  size_t Range = 0;  // the range after the current one
  std::string Prefix;
  char Style = 0;
  int64_t Start = 1, First = 0;
  for (int64_t Page = 0; Page < Count; ++Page) {
    if (Range < Ranges.size() && Ranges[Range].first == Page) {
      const TPDFDictionary* Label = Ranges[Range++].second;
      const auto* P = As<TPDFString>(Label->GetValue(KeyLabelPrefix, true));
      Prefix = P ? WithoutControls(TextStringToUTF8(P->Value())) : std::string();
      const auto* S = As<TPDFName>(Label->GetValue(KeyLabelStyle, true));
      Style = S && S->Value().size() == 1 ? S->Value()[0] : 0;
      const auto* St = As<TPDFNumeric>(Label->GetValue(KeyLabelStart, true));
      Start = St ? St->IntValue() : 1;
      First = Page;
    }
    // Before the first range (a tree that leaves out page 1): the page number.
    if (Range == 0)
      Labels.push_back(std::to_string(Page + 1));
    else
      Labels.push_back(Prefix + PageLabelNumber(Start + (Page - First), Style));
  }
  return Labels;
}
