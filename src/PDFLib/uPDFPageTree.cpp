// Page tree: finding pages, page sizes and boxes, a page's content streams and
// resources.
#include "uPDFPageTree.h"

#include <algorithm>
#include <cmath>


namespace {

// Kids arrays nest no deeper than this; a deeper tree ends the walk.
constexpr int MaxTreeDepth = 256;
// Parent chains followed for inherited attributes, at most.
constexpr int MaxParentChain = 256;
// A last content stream with more stored bytes than this gets a new stream after it.
constexpr size_t LargeStreamBytes = 500000;

constexpr std::string_view LayerKey = "LC";
constexpr std::string_view LayerMark = "ZELQ";

double NumberAt(const TPDFArray* A, int I) {
  const auto* N = As<TPDFNumeric>(A->GetItem(I));
  return N ? N->Value() : 0;
}

int32_t NodeCount(const TPDFDictionary* Node) {
  const auto* N = As<TPDFNumeric>(Node->GetValue("Count", true));
  return N ? N->IntValue() : 0;
}

bool IsLayerStream(const TPDFStream* S) {
  const auto* Mark = As<TPDFName>(S->Dictionary()->GetValue(LayerKey, false));
  return Mark && Mark->Value() == LayerMark;
}

}  // namespace

TPDFPageTree::TPDFPageTree(TPDFDictionary* Root, size_t FileObjects)
    : FStructure(Root ? Root->Structure() : nullptr), FRoot(Root), FFileObjects(FileObjects) {
  if (FRoot) SelectPage(1);
}

int32_t TPDFPageTree::PageCount() const {
  if (!FRoot) return 0;
  const int32_t Count = std::max(0, NodeCount(FRoot));
  // Every page is an object of its own: a Count above the number of objects
  // lies, and the pages the tree really holds count instead.
  if (static_cast<size_t>(Count) > FFileObjects) {
    if (FCountedPages < 0) FCountedPages = CountLeaves();
    return FCountedPages;
  }
  return Count;
}

int32_t TPDFPageTree::CountLeaves() const {
  // Each node is entered once; Kids items that are not page or page-tree
  // dictionaries are passed over, as a page lookup passes them over.
  std::unordered_set<const TPDFDictionary*> Seen = {FRoot};
  std::vector<std::pair<const TPDFDictionary*, int>> Pending = {{FRoot, 0}};
  int32_t Pages = 0;
  while (!Pending.empty()) {
    auto [Node, Depth] = Pending.back();
    Pending.pop_back();
    auto* Kids = As<TPDFArray>(Node->GetValue("Kids", true));
    if (!Kids || Depth > MaxTreeDepth) continue;
    for (TPDFObject* Item : Kids->Items()) {
      auto* Ref = As<TPDFIndRef>(Item);
      auto* Dict = Ref ? As<TPDFDictionary>(Ref->Resolve()) : nullptr;
      if (!Dict) continue;
      const std::string Type = Dict->GetTypeName();
      if (Type == "Page") {
        if (Pages < INT32_MAX) ++Pages;
      } else if (Type == "Pages" && Seen.insert(Dict).second) {
        Pending.emplace_back(Dict, Depth + 1);
      }
    }
  }
  return Pages;
}

// ---------------------------------------------------------------- finding pages

void TPDFPageTree::NoteLast(TPDFIndRef* Ref, TPDFArray* Kids) {
  FLastRef = Ref;
  FLastKids = Kids;
  LastObjectNumber = Ref->Number;
  LastGeneration = Ref->Generation;
}

TPDFDictionary* TPDFPageTree::FindPage(int32_t Index) {
  if (Index < 1 || Index > PageCount()) return nullptr;
  FParentNode = FRoot;
  TPDFDictionary* Result = nullptr;
  if (auto* Kids = As<TPDFArray>(FRoot->GetValue("Kids", true))) {
    FWalkPath.clear();
    FWalkPath.insert(FRoot);
    Result = WalkKids(Kids, Index, 0, 0);
    FWalkPath.clear();
  }
  FPageCache[Index] = Result;
  return Result;
}

const TPDFPageTree::TKidsIndex& TPDFPageTree::IndexKids(TPDFArray* Kids) {
  auto [It, Inserted] = FKidsIndex.try_emplace(Kids);
  TKidsIndex& X = It->second;
  if (!Inserted) return X;
  X.Usable = true;
  int64_t Before = 0;
  for (TPDFObject* Item : Kids->Items()) {
    auto* Ref = As<TPDFIndRef>(Item);
    if (!Ref) continue;
    auto* Dict = As<TPDFDictionary>(Ref->Resolve());
    if (!Dict) continue;
    const std::string Type = Dict->GetTypeName();
    if (Type == "Pages") {
      const int64_t N = NodeCount(Dict);
      auto* NodeKids = As<TPDFArray>(Dict->GetValue("Kids", true));
      // A node without Kids counts or not depending on the target: such
      // arrays are walked item by item.
      if (!NodeKids || N < 0) {
        X.Usable = false;
        X.Items.clear();
        return X;
      }
      X.Items.push_back({Before, N, Ref, Dict, true, NodeKids});
      Before += N;
    } else if (Type == "Page") {
      X.Items.push_back({Before, 1, Ref, Dict, false, nullptr});
      Before += 1;
    }
  }
  return X;
}

TPDFDictionary* TPDFPageTree::WalkKids(TPDFArray* Kids, int64_t Target, int64_t Counter, int Depth) {
  if (Depth > MaxTreeDepth) return nullptr;
  const TKidsIndex& X = IndexKids(Kids);
  if (X.Usable) {
    // The first item whose pages reach the target is where the walk ends.
    auto It = std::lower_bound(X.Items.begin(), X.Items.end(), Target - Counter,
                               [](const TKidsIndex::TItem& Item, int64_t T) { return Item.Before + Item.Span < T; });
    if (It != X.Items.end()) {
      NoteLast(It->Ref, Kids);
      if (!It->IsNode) return It->Dict;
      return Descend(It->Dict, It->Kids, Target, Counter + It->Before, Depth);
    }
  }
  return WalkKidsLinear(Kids, Target, Counter, Depth);
}

TPDFDictionary* TPDFPageTree::WalkKidsLinear(TPDFArray* Kids, int64_t Target, int64_t& Counter, int Depth) {
  for (TPDFObject* Item : Kids->Items()) {
    auto* Ref = As<TPDFIndRef>(Item);
    if (!Ref) continue;  // pages written directly into Kids are not seen
    NoteLast(Ref, Kids);
    auto* Dict = As<TPDFDictionary>(Ref->Resolve());
    if (!Dict) continue;
    const std::string Type = Dict->GetTypeName();
    if (Type == "Pages") {
      const int64_t N = NodeCount(Dict);
      if (Target > Counter + N) {
        Counter += N;  // the whole subtree lies before the target
        continue;
      }
      if (auto* NodeKids = As<TPDFArray>(Dict->GetValue("Kids", true)))
        return Descend(Dict, NodeKids, Target, Counter, Depth);  // no backtracking
    } else if (Type == "Page") {
      if (Counter + 1 == Target) return Dict;
      Counter += 1;
    }
  }
  return nullptr;
}

TPDFDictionary* TPDFPageTree::Descend(TPDFDictionary* Node, TPDFArray* Kids, int64_t Target, int64_t Counter,
                                      int Depth) {
  // A Kids entry leading back to a node on the path: no page there.
  if (!FWalkPath.insert(Node).second) return nullptr;
  FParentNode = Node;
  TPDFDictionary* Result = WalkKids(Kids, Target, Counter, Depth + 1);
  FWalkPath.erase(Node);
  return Result;
}

void TPDFPageTree::SelectPage(int32_t Index) {
  FWidthCached = false;
  FHeightCached = false;
  const int32_t Count = PageCount();
  if (Index < 1 || Index > Count) Index = FPageIndex;
  FContentReady = false;
  TPDFDictionary* Dict = nullptr;
  auto Cached = FPageCache.find(Index);
  if (Index < Count && Cached != FPageCache.end() && Cached->second)
    Dict = Cached->second;
  else
    Dict = FindPage(Index);
  FPageDict = Dict;
  if (Dict) {
    FPageIndex = Index;
    CollectContents();
  } else {
    FContentStreams.clear();
  }
  if (OnPageSelected) OnPageSelected(FPageDict);
}

void TPDFPageTree::DecryptPage() {
  if (OnDecryptPage) OnDecryptPage(LastObjectNumber, LastGeneration);
}

// ---------------------------------------------------------------- contents

TPDFIndRef* TPDFPageTree::RegisterNew(TPDFObject* Obj) {
  if (!FStructure->OnNewIndirect) return nullptr;
  int32_t Number = 0, Generation = 0;
  FStructure->OnNewIndirect(Obj, Number, Generation);
  return FStructure->NewIndRef(Number, Generation);
}

TPDFStream* TPDFPageTree::NewLayerStream() {
  TPDFStream* S = FStructure->NewStream(std::string());
  S->Dictionary()->SetValue(LayerKey, FStructure->NewName(LayerMark));
  return S;
}

void TPDFPageTree::CollectContents() {
  FContentStreams.clear();
  TPDFStructure& S = *FStructure;
  // New streams are referenced as new indirect objects (or held directly when
  // the structure has no document to register them with).
  auto Reference = [&](TPDFObject* Obj) -> TPDFObject* {
    TPDFIndRef* Ref = RegisterNew(Obj);
    return Ref ? static_cast<TPDFObject*>(Ref) : Obj;
  };
  TPDFObject* Contents = FPageDict->GetValue("Contents", false);
  if (!Contents) {
    TPDFArray* Array = S.NewArray();
    Array->Add(Reference(NewLayerStream()));
    FPageDict->SetValue("Contents", Array);
    Contents = Array;
  } else if (auto* Ref = As<TPDFIndRef>(Contents)) {
    if (auto* Target = As<TPDFArray>(Ref->Resolve())) {
      Contents = Target;
    } else {
      TPDFArray* Array = S.NewArray();
      Array->Add(Ref);
      FPageDict->SetValue("Contents", Array);
      Contents = Array;
    }
  }
  auto* Array = As<TPDFArray>(Contents);
  if (!Array) return;  // a direct stream or anything else: no content streams

  auto ResolveItem = [](TPDFObject* Item) {
    auto* Ref = As<TPDFIndRef>(Item);
    return Ref ? Ref->Resolve() : Item;
  };
  auto* Last = As<TPDFStream>(ResolveItem(Array->GetItem(Array->Count() - 1)));
  if (!Last || (!KeepLastStream && !IsLayerStream(Last)) ||
      (!AllowLargeLastStream && Last->RawData().size() > LargeStreamBytes))
    Array->Add(Reference(NewLayerStream()));

  FContentStreams.reserve(static_cast<size_t>(Array->Count()));
  for (int I = 0; I < Array->Count(); ++I) {
    auto* Stream = As<TPDFStream>(ResolveItem(Array->GetItem(I)));
    if (!Stream) {
      // A dangling reference or any other item becomes an empty stream.
      Stream = S.NewStream(std::string());
      Array->SetItem(I, Reference(Stream));
    }
    FContentStreams.push_back(Stream);
  }
  ContentIndex = ContentCount();
  FContentReady = true;
}

std::string TPDFPageTree::GetContentStream() const {
  if (ContentIndex < 1 || ContentIndex > ContentCount()) return {};
  const TPDFStream* S = FContentStreams[static_cast<size_t>(ContentIndex - 1)];
  return S ? S->GetDecodedData() : std::string();
}

std::string TPDFPageTree::GetPageContentBytes() {
  std::string Bytes;
  for (int I = 1; I <= ContentCount(); ++I) {
    ContentIndex = I;
    const std::string Stream = GetContentStream();
    // A token never runs from one stream into the next.
    if (!Bytes.empty() && !Stream.empty()) Bytes += '\n';
    Bytes += Stream;
  }
  return Bytes;
}

TPDFContentParts TPDFPageTree::GetPageContentParts(TPDFPageBudget& Budget) {
  TPDFContentParts Parts;
  for (const TPDFStream* S : FContentStreams)
    if (const std::string* Content = S ? Budget.Content(*S) : nullptr) Parts.emplace_back(*Content);
  return Parts;
}

TPDFDictionary* TPDFPageTree::GetPageResources() {
  if (!FPageDict) return nullptr;
  TPDFObject* Resources = FPageDict->GetValue("Resources", false);
  if (!Resources) {
    // Only the page's own parent node is consulted.
    FindPage(FPageIndex);
    if (FParentNode) Resources = FParentNode->GetValue("Resources", false);
  }
  if (!Resources) {
    Resources = FStructure->NewDictionary();
    FPageDict->SetValue("Resources", Resources);
  }
  if (auto* Ref = As<TPDFIndRef>(Resources)) Resources = Ref->Resolve();
  if (auto* Dict = As<TPDFDictionary>(Resources)) return Dict;
  FPageDict->RemoveKey("Resources");
  TPDFDictionary* Empty = FStructure->NewDictionary();
  FPageDict->SetValue("Resources", Empty);
  return Empty;
}

// ---------------------------------------------------------------- sizes and boxes

void TPDFPageTree::ComputeDefaultSize() {
  DefaultWidth = 612;
  DefaultHeight = 792;
  if (FRoot)
    if (auto* Box = As<TPDFArray>(FRoot->GetValue("MediaBox", false))) {
      DefaultWidth = std::fabs(NumberAt(Box, 2) - NumberAt(Box, 0));
      DefaultHeight = std::fabs(NumberAt(Box, 3) - NumberAt(Box, 1));
    }
}

double TPDFPageTree::MediaBoxSide(bool Width) {
  TPDFDictionary* Dict = FPageDict;
  for (int Step = 0; Dict && Step < MaxParentChain; ++Step) {
    if (auto* Box = As<TPDFArray>(Dict->GetValue("MediaBox", true)))
      return Width ? std::fabs(NumberAt(Box, 2) - NumberAt(Box, 0)) : std::fabs(NumberAt(Box, 3) - NumberAt(Box, 1));
    Dict = As<TPDFDictionary>(Dict->GetValue("Parent", true));
  }
  ComputeDefaultSize();
  FPageDict->SetValue("MediaBox", FStructure->NewNumberArray(std::vector<double>{0, 0, DefaultWidth, DefaultHeight}));
  return Width ? DefaultWidth : DefaultHeight;
}

double TPDFPageTree::PageWidth() {
  if (FWidthCached) return FWidthCache;
  if (!FPageDict) return 0;
  FWidthCache = MediaBoxSide(true);
  FWidthCached = true;
  return FWidthCache;
}

double TPDFPageTree::PageHeight() {
  if (FHeightCached) return FHeightCache;
  if (!FPageDict) return 0;
  FHeightCache = MediaBoxSide(false);
  FHeightCached = true;
  return FHeightCache;
}

double TPDFPageTree::GetPageBox(std::string_view BoxName, int Kind) {
  if (!FPageDict) return 0;
  // The key on the page or, while Parent is a reference to a dictionary, on
  // its ancestors.
  auto Lookup = [&](std::string_view Key) -> TPDFObject* {
    TPDFDictionary* Dict = FPageDict;
    for (int Step = 0; Dict && Step < MaxParentChain; ++Step) {
      if (TPDFObject* V = Dict->GetValue(Key, false)) {
        auto* Ref = As<TPDFIndRef>(V);
        return Ref ? Ref->Resolve() : V;
      }
      auto* Parent = As<TPDFIndRef>(Dict->GetValue("Parent", false));
      Dict = Parent ? As<TPDFDictionary>(Parent->Resolve()) : nullptr;
    }
    return nullptr;
  };
  TPDFObject* Box = nullptr;
  if (BoxName == "MediaBox") {
    Box = Lookup("MediaBox");
  } else if (BoxName == "CropBox") {
    Box = Lookup("CropBox");
    if (!Box) Box = Lookup("MediaBox");
  } else {
    Box = Lookup(BoxName);
    if (!Box) Box = Lookup("CropBox");
    if (!Box) Box = Lookup("MediaBox");
  }
  if (!As<TPDFArray>(Box)) return 0;
  TPDFRectangle R(Box);
  return R.IsValid() ? R.Side(Kind) : 0;
}

int32_t TPDFPageTree::PageRotation() const {
  if (!FPageDict) return 0;
  const auto* N = As<TPDFNumeric>(FPageDict->GetValue("Rotate", true));
  return N ? N->IntValue() : 0;
}
