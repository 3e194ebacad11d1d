// The engine facade.
#include "uPDFEngine.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <utility>

#include "CodePage.h"
#include "uPDFDocument.h"
#include "uPDFPageText.h"
#include "uPDFPageTree.h"
#include "uPDFTextFunnel.h"

namespace {

constexpr const char* ProducerText = "Vorlith PDF engine";

// The local time as a PDF date string, e.g. D:20261210143000.
std::string PDFDateNow() {
  std::time_t Now = std::time(nullptr);
  std::tm Local{};
  localtime_r(&Now, &Local);
  char Buf[32];
  std::strftime(Buf, sizeof Buf, "D:%Y%m%d%H%M%S", &Local);
  return Buf;
}

}  // namespace

TPDFEngine::TPDFEngine() : TPDFEngine(TCodePage::Default()) {}

TPDFEngine::TPDFEngine(std::shared_ptr<const TCodePage> Page) : CodePage(std::move(Page)) {
  auto Doc = NewDocument();
  Doc->InitEmpty(612, 792);
  TPDFDictionary* Info = Doc->GetInfo();
  TPDFStructure* S = Doc->Structure();
  Info->SetValue("Producer", S->NewString(ProducerText));
  Info->SetValue("Creator", S->NewString(ProducerText));
  const std::string Date = PDFDateNow();
  Info->SetValue("CreationDate", S->NewString(Date));
  Info->SetValue("ModDate", S->NewString(Date));
  FSelected = Doc.get();
  FDocuments.push_back(std::move(Doc));
  FSelected->PageTree()->SelectPage(1);
}

TPDFEngine::~TPDFEngine() = default;

std::unique_ptr<TPDFDocument> TPDFEngine::NewDocument() const {
  auto Doc = std::make_unique<TPDFDocument>(CodePage);
  Doc->Structure()->MaxDecodedSize = MaxDecodedSize;
  Doc->Repair = Repair;
  if (CodePage) Doc->CodePage = CodePage;
  if (OnWarning) Doc->OnWarning = OnWarning;
  return Doc;
}

int TPDFEngine::LoadFromFile(const std::string& FileName) {
  std::error_code Ec;
  if (!std::filesystem::is_regular_file(FileName, Ec)) return 0;
  std::ifstream In(FileName, std::ios::binary);
  if (!In) return 0;
  return LoadFromStream(In);
}

int TPDFEngine::LoadFromStream(std::istream& Stream) {
  FErrorCode = 0;
  auto Doc = NewDocument();
  const bool Loaded = Doc->LoadFromStream(Stream);
  return AddLoaded(std::move(Doc), Loaded);
}

int TPDFEngine::LoadFromData(std::string Data) {
  FErrorCode = 0;
  auto Doc = NewDocument();
  const bool Loaded = Doc->LoadFromData(std::move(Data));
  return AddLoaded(std::move(Doc), Loaded);
}

int TPDFEngine::AddLoaded(std::unique_ptr<TPDFDocument> Document, bool Loaded) {
  if (!Loaded) return 0;
  TPDFDocument* Raw = Document.get();
  FDocuments.push_back(std::move(Document));
  SelectDocument(Raw);
  return 1;
}

TPDFDocument* TPDFEngine::DocumentID(int Index) const {
  return Index >= 1 && Index <= DocumentCount() ? FDocuments[static_cast<size_t>(Index - 1)].get() : nullptr;
}

int TPDFEngine::SelectDocument(TPDFDocument* Document) {
  for (auto& D : FDocuments)
    if (D.get() == Document) {
      FSelected = Document;
      return 1;
    }
  return 0;
}

int TPDFEngine::RemoveDocument(TPDFDocument* Document) {
  size_t Index = FDocuments.size();
  for (size_t I = 0; I < FDocuments.size(); ++I)
    if (FDocuments[I].get() == Document) Index = I;
  if (Index == FDocuments.size() || FDocuments.size() == 1) return 0;
  if (FSelected == Document) FSelected = FDocuments[Index > 0 ? Index - 1 : 1].get();
  FDocuments.erase(FDocuments.begin() + static_cast<std::ptrdiff_t>(Index));
  return 1;
}

bool TPDFEngine::Rebuilt() const { return FSelected->Rebuilt(); }

int TPDFEngine::Encrypted() { return FSelected->EncryptionState(); }

int TPDFEngine::SecurityInfo(int Item) {
  FErrorCode = 0;
  TPDFDocument& D = *FSelected;
  const int State = D.EncryptionState();
  if (State == 2) return 9;
  if (State == 0) {
    static const int NotEncrypted[] = {0, 2, 2, 4, 6, 6, 6, 6, 6, 6, 11};
    return Item >= 0 && Item <= 10 ? NotEncrypted[Item] : 11;
  }
  const int Bits = D.EncryptionStrength();
  switch (Item) {
    case 0: return 1;
    case 1: return D.CheckUserPassword("") ? 2 : 3;
    case 2: {
      const std::string& Stored = D.StoredPassword();
      const bool Owner = D.CheckOwnerPassword("") || (!Stored.empty() && D.CheckOwnerPassword(Stored.substr(1)));
      return Owner ? 2 : 3;
    }
    default: break;
  }
  D.CheckUserPassword("");  // the permission value of the document
  const uint32_t P = static_cast<uint32_t>(D.Permissions());
  switch (Item) {
    case 3: return !(P & 4) ? 5 : (Bits == 40 || (P & 2048)) ? 4 : 10;
    case 4: return P & 8 ? 6 : 5;
    case 5: return P & 16 ? 6 : 5;
    case 6: return P & 32 ? 6 : 5;
    // AES-256 keys count as 128 bits and more.
    case 7: return Bits >= 128 && (P & 256) ? 6 : 5;
    case 8: return Bits >= 128 && (P & 512) ? 6 : 5;
    case 9: return Bits >= 128 && (P & 1024) ? 6 : 5;
    case 10: return Bits == 256 ? 12 : Bits == 128 ? 8 : Bits == 40 ? 7 : 11;
    default: return 11;
  }
}

int TPDFEngine::SetPassword(const std::string& Password) {
  TPDFDocument& D = *FSelected;
  switch (D.EncryptionState()) {
    case 0: return 3;
    case 2: return 4;
    case 1: break;
    default: return 0;
  }
  const bool User = D.CheckUserPassword(Password);
  const bool Owner = D.CheckOwnerPassword(Password);
  const int Result = User && Owner ? 5 : User ? 1 : Owner ? 2 : 0;
  if (Result) D.ApplyPassword(Password);
  return Result;
}

int TPDFEngine::PageCount() const { return FSelected->PageTree()->PageCount(); }

int TPDFEngine::SelectPage(int Index) {
  TPDFPageTree* Tree = FSelected->PageTree();
  // The objects reachable from the page are decrypted before it is read.
  if (FSelected->EncryptionState() == 1) Tree->DecryptPage();
  Tree->SelectPage(Index);
  return Tree->PageDict() && Tree->PageIndex() == Index ? 1 : 0;
}

int TPDFEngine::SelectedPage() const { return FSelected->PageTree()->PageIndex(); }

double TPDFEngine::PageWidth() const { return FSelected->PageTree()->PageWidth() * FSelected->UnitScale; }

double TPDFEngine::PageHeight() const { return FSelected->PageTree()->PageHeight() * FSelected->UnitScale; }

std::string TPDFEngine::GetPageText(int Mode) {
  FErrorCode = 0;
  if (Mode < 0 || Mode > 4) return {};
  if (Mode <= 2) return ::GetPageText(*FSelected, Mode);
  TPDFTextFunnel Funnel;
  SetUpFunnel(Funnel, Mode == 4);
  return ::GetPageText(*FSelected, Mode, &Funnel);
}

void TPDFEngine::SetUpFunnel(TPDFTextFunnel& Funnel, bool WordMode) const {
  // The document's origin and unit scale, and the page size in those units.
  Funnel.Origin = FSelected->Origin;
  Funnel.Scale = FSelected->UnitScale;
  Funnel.PageWidth = PageWidth();
  Funnel.PageHeight = PageHeight();
  Funnel.WordMode = WordMode;
  Funnel.KeepWords = false;
}

void TPDFEngine::GetPageBlocks(TPDFTextFunnel& Funnel) {
  FErrorCode = 0;
  SetUpFunnel(Funnel, false);
  RenderPageText(*FSelected, Funnel);
}

std::vector<TPDFTextFunnel::TWord> TPDFEngine::GetPageWords() {
  FErrorCode = 0;
  TPDFTextFunnel Funnel;
  Funnel.WordMode = true;
  Funnel.KeepWords = true;
  ::GetPageText(*FSelected, 4, &Funnel);
  std::vector<TPDFTextFunnel::TWord> Words = Funnel.TakeWords();
  Words.erase(std::remove_if(Words.begin(), Words.end(),
                             [](const TPDFTextFunnel::TWord& W) {
                               return std::all_of(W.Text.begin(), W.Text.end(),
                                                  [](char C) { return C == ' ' || C == '\0'; });
                             }),
              Words.end());
  return Words;
}
