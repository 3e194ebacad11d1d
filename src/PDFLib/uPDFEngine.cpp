// The engine facade.
#include "uPDFEngine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <new>
#include <utility>

#include "CodePage.h"
#include "uPDFDocument.h"
#include "uPDFExtra.h"
#include "uPDFLibCrypto.h"
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

TPDFStatus TPDFEngine::LoadFromFile(const std::string& FileName) {
  std::error_code Ec;
  const auto Kind = std::filesystem::status(FileName, Ec).type();
  if (Kind == std::filesystem::file_type::not_found)
    return TPDFStatus::Failure(TPDFStatusKind::Unreadable, "no such file");
  if (Kind == std::filesystem::file_type::directory)
    return TPDFStatus::Failure(TPDFStatusKind::Unreadable, "a folder");
  if (Kind != std::filesystem::file_type::regular)
    return TPDFStatus::Failure(TPDFStatusKind::Unreadable, Ec ? Ec.message() : "not a regular file");
  std::ifstream In(FileName, std::ios::binary);
  if (!In) return TPDFStatus::Failure(TPDFStatusKind::Unreadable, std::strerror(errno));
  return LoadFromStream(In);
}

TPDFStatus TPDFEngine::LoadFromStream(std::istream& Stream) {
  auto Doc = NewDocument();
  const bool Loaded = Doc->LoadFromStream(Stream);
  return AddLoaded(std::move(Doc), Loaded);
}

TPDFStatus TPDFEngine::LoadFromData(std::string Data) {
  auto Doc = NewDocument();
  const bool Loaded = Doc->LoadFromData(std::move(Data));
  return AddLoaded(std::move(Doc), Loaded);
}

TPDFStatus TPDFEngine::AddLoaded(std::unique_ptr<TPDFDocument> Document, bool Loaded) {
  if (!Loaded) return Document->LoadStatus();
  TPDFDocument* Raw = Document.get();
  FDocuments.push_back(std::move(Document));
  SelectDocument(Raw);
  return {};
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

TPDFEncryption TPDFEngine::Encrypted() { return static_cast<TPDFEncryption>(FSelected->EncryptionState()); }

TPDFSecurityValue TPDFEngine::SecurityInfo(TPDFSecurityItem Item) {
  using V = TPDFSecurityValue;
  using I = TPDFSecurityItem;
  TPDFDocument& D = *FSelected;
  const int State = D.EncryptionState();
  if (State == 2) return V::UnsupportedEncryption;
  if (State == 0) {
    static const V NotEncrypted[] = {V::NotEncrypted, V::PasswordNotNeeded, V::PasswordNotNeeded,
                                     V::PrintingAllowed, V::Allowed, V::Allowed, V::Allowed, V::Allowed,
                                     V::Allowed, V::Allowed, V::KeyOther};
    const int Index = static_cast<int>(Item);
    return Index >= 0 && Index <= 10 ? NotEncrypted[Index] : V::KeyOther;
  }
  const int Bits = D.EncryptionStrength();
  switch (Item) {
    case I::Encrypted: return V::Encrypted;
    case I::UserPassword: return D.CheckUserPassword("") ? V::PasswordNotNeeded : V::PasswordNeeded;
    case I::OwnerPassword: {
      const std::string& Stored = D.StoredPassword();
      const bool Owner = D.CheckOwnerPassword("") || (!Stored.empty() && D.CheckOwnerPassword(Stored.substr(1)));
      return Owner ? V::PasswordNotNeeded : V::PasswordNeeded;
    }
    default: break;
  }
  D.CheckUserPassword("");  // the permission value of the document
  const uint32_t P = static_cast<uint32_t>(D.Permissions());
  const auto Permitted = [](bool Yes) { return Yes ? V::Allowed : V::Denied; };
  switch (Item) {
    case I::Printing: return !(P & 4) ? V::Denied : (Bits == 40 || (P & 2048)) ? V::PrintingAllowed : V::PrintingLowQuality;
    case I::Changing: return Permitted(P & 8);
    case I::Copying: return Permitted(P & 16);
    case I::Annotations: return Permitted(P & 32);
    // AES-256 keys count as 128 bits and more.
    case I::FillingForms: return Permitted(Bits >= 128 && (P & 256));
    case I::Accessibility: return Permitted(Bits >= 128 && (P & 512));
    case I::Assembling: return Permitted(Bits >= 128 && (P & 1024));
    case I::KeyLength: return Bits == 256 ? V::Key256 : Bits == 128 ? V::Key128 : Bits == 40 ? V::Key40 : V::KeyOther;
    default: return V::KeyOther;
  }
}

TPDFStatus TPDFEngine::CryptoStatus() {
  TPDFDocument& D = *FSelected;
  if (D.EncryptionState() != 1 || !D.Security().NeedsLibCrypto() || LibCrypto()) return {};
  return TPDFStatus::Failure(TPDFStatusKind::AESUnavailable, std::string("it is encrypted with AES, which needs ") +
                                                                  LibCryptoPath() + " (OpenSSL's libcrypto); it cannot be loaded");
}

TPDFPasswordResult TPDFEngine::SetPassword(const std::string& Password) {
  using R = TPDFPasswordResult;
  TPDFDocument& D = *FSelected;
  switch (D.EncryptionState()) {
    case 0: return R::NotEncrypted;
    case 2: return R::Unsupported;
    case 1: break;
    default: return R::Wrong;
  }
  const bool User = D.CheckUserPassword(Password);
  const bool Owner = D.CheckOwnerPassword(Password);
  const R Result = User && Owner ? R::UserAndOwner : User ? R::User : Owner ? R::Owner : R::Wrong;
  if (Result != R::Wrong) D.ApplyPassword(Password);
  return Result;
}

int TPDFEngine::PageCount() const { return FSelected->PageTree()->PageCount(); }

int TPDFEngine::SelectPage(int Index) {
  TPDFPageTree* Tree = FSelected->PageTree();
  // The objects reachable from the page are decrypted before it is read.
  if (FSelected->EncryptionState() == 1) Tree->DecryptPage();
  Tree->SelectPage(Index);
  FSelected->ResetPageBudget(Limits, Deadline);
  return Tree->PageDict() && Tree->PageIndex() == Index ? 1 : 0;
}

TPDFMetadata TPDFEngine::Metadata() { return ReadMetadata(*FSelected); }

std::vector<TPDFOutlineItem> TPDFEngine::Outline() {
  try {
    return ReadOutline(*FSelected);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::vector<std::string> TPDFEngine::PageLabels() {
  try {
    return ReadPageLabels(*FSelected);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

const TPDFPageBudget& TPDFEngine::PageBudget() const { return FSelected->PageBudget(); }

int TPDFEngine::SelectedPage() const { return FSelected->PageTree()->PageIndex(); }

double TPDFEngine::PageWidth() const { return FSelected->PageTree()->PageWidth() * FSelected->UnitScale; }

double TPDFEngine::PageHeight() const { return FSelected->PageTree()->PageHeight() * FSelected->UnitScale; }

TPDFPageBox TPDFEngine::PageBox() const {
  TPDFPageTree* Tree = FSelected->PageTree();
  TPDFPageBox Box;
  if (!Tree->PageDict()) return Box;
  // Side kinds: 0 left, 4 right, 5 bottom, 1 top; a box may name its
  // corners in any order.
  const double L = Tree->GetPageBox("CropBox", 0), R = Tree->GetPageBox("CropBox", 4);
  const double B = Tree->GetPageBox("CropBox", 5), T = Tree->GetPageBox("CropBox", 1);
  const double Left = std::min(L, R), Right = std::max(L, R), Bottom = std::min(B, T), Top = std::max(B, T);
  if (std::isfinite(Left) && std::isfinite(Right) && std::isfinite(Bottom) && std::isfinite(Top) && Right > Left &&
      Top > Bottom) {
    Box = {Left, Bottom, Right, Top, 0};
  } else {
    Box = {0, 0, Tree->PageWidth(), Tree->PageHeight(), 0};
  }
  // Rotate is a multiple of 90; anything else shows the page upright.
  const int32_t Turn = Tree->PageRotation();
  if (Turn % 90 == 0) Box.Rotation = static_cast<int>(((Turn % 360) + 360) % 360);
  return Box;
}

std::string TPDFEngine::GetPageText(TPDFTextMode Mode) {
  const int Number = static_cast<int>(Mode);
  if (Number < 0 || Number > 4) return {};
  PrepareOCR();
  if (Number <= 2) return ::GetPageText(*FSelected, Number);
  TPDFTextFunnel Funnel;
  SetUpFunnel(Funnel, Mode == TPDFTextMode::Words);
  return ::GetPageText(*FSelected, Number, &Funnel);
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
  PrepareOCR();
  SetUpFunnel(Funnel, false);
  RenderPageText(*FSelected, Funnel);
}

std::vector<TPDFTextFunnel::TWord> TPDFEngine::GetPageWords() {
  PrepareOCR();
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

bool TPDFEngine::PageHasImages() {
  TPDFPageTree* Tree = FSelected->PageTree();
  if (!Tree->PageDict()) return false;
  // Image XObjects of the page, and of the forms it names; a form's forms
  // are not followed, and each dictionary counts for at most this many.
  constexpr int MaxEntries = 256;
  auto HasImage = [](TPDFDictionary* Resources, auto& Self, int Depth) -> bool {
    auto* XObjects = Resources ? As<TPDFDictionary>(Resources->GetValue("XObject", true)) : nullptr;
    if (!XObjects) return false;
    int Seen = 0;
    for (const auto& Entry : XObjects->Entries()) {
      if (!Entry.first || ++Seen > MaxEntries) break;
      auto* Stream = As<TPDFStream>(XObjects->GetValue(Entry.first->Value(), true));
      if (!Stream) continue;
      const auto* Subtype = As<TPDFName>(Stream->Dictionary()->GetValue("Subtype", true));
      if (!Subtype) continue;
      if (Subtype->Value() == "Image") return true;
      if (Subtype->Value() == "Form" && Depth == 0 &&
          Self(As<TPDFDictionary>(Stream->Dictionary()->GetValue("Resources", true)), Self, 1))
        return true;
    }
    return false;
  };
  if (HasImage(Tree->GetPageResources(), HasImage, 0)) return true;
  // An inline image: the operator BI standing as a token of its own.
  for (std::string_view Content : Tree->GetPageContentParts(FSelected->PageBudget()))
    for (size_t At = Content.find("BI"); At != std::string_view::npos; At = Content.find("BI", At + 2)) {
      const auto Delimits = [](char C) { return IsPDFWhite(static_cast<unsigned char>(C)); };
      if ((At == 0 || Delimits(Content[At - 1])) && (At + 2 == Content.size() || Delimits(Content[At + 2])))
        return true;
    }
  return false;
}

std::string TPDFEngine::OCRLanguagesInUse() const { return OCRLanguages.empty() ? DefaultOCRLanguages() : OCRLanguages; }

TPDFRecogniser* TPDFEngine::Recogniser() {
  // One per thread, kept from one engine to the next (a batch worker's
  // files share it): Tesseract takes far longer to start than a page takes.
  thread_local std::unique_ptr<TPDFRecogniser> Shared;
  const std::string Languages = OCRLanguagesInUse();
  if (!Shared || Shared->Languages() != Languages) Shared = std::make_unique<TPDFRecogniser>(Languages);
  return Shared.get();
}

void TPDFEngine::PrepareOCR() {
  TPDFOCRSession& OCR = FSelected->OCR;
  OCR.Mode = OCRMode;
  OCR.Recogniser = [this] { return Recogniser(); };
}

bool TPDFEngine::PageRecognised() const { return FSelected->OCR.PageRecognised; }

bool TPDFEngine::PageUnread() const { return FSelected->OCR.PageUnread; }

const std::vector<std::string>& TPDFEngine::PageOCRWarnings() const { return FSelected->OCR.PageWarnings; }

std::string TPDFEngine::OCRError() {
  TPDFRecogniser* R = Recogniser();
  return R->Ready() ? std::string() : R->Error();
}
