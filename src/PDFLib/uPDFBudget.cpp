// Work budgets of one page.
#include "uPDFBudget.h"

#include "uPDFStructure.h"

const char* BudgetName(TPDFBudgetKind Kind) {
  switch (Kind) {
    case TPDFBudgetKind::None: return "";
    case TPDFBudgetKind::Operators: return "operators";
    case TPDFBudgetKind::Glyphs: return "glyphs";
    case TPDFBudgetKind::DecodedBytes: return "decoded bytes";
    case TPDFBudgetKind::ContentBytes: return "content bytes";
    case TPDFBudgetKind::Words: return "words";
    case TPDFBudgetKind::Time: return "time";
  }
  return "";
}

TPDFPageBudget::TPDFPageBudget(const TPDFLimits& Limits, std::optional<TClock::time_point> Deadline)
    : FLimits(Limits), FDeadline(Deadline) {}

bool TPDFPageBudget::CheckDeadline() {
  if (DeadlinePassed(FDeadline)) return Spend(TPDFBudgetKind::Time);
  return FExceeded == TPDFBudgetKind::None;
}

TPDFPageBudget::TClock::time_point DeadlineAfter(double Seconds) {
  using TClock = TPDFPageBudget::TClock;
  return TClock::now() + std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(Seconds));
}

bool DeadlinePassed(const std::optional<TPDFPageBudget::TClock::time_point>& Deadline) {
  return Deadline && TPDFPageBudget::TClock::now() >= *Deadline;
}

uint64_t TPDFPageBudget::Limit(TPDFBudgetKind Kind) const {
  switch (Kind) {
    case TPDFBudgetKind::Operators: return FLimits.Operators;
    case TPDFBudgetKind::Glyphs: return FLimits.Glyphs;
    case TPDFBudgetKind::DecodedBytes: return FLimits.DecodedBytes;
    case TPDFBudgetKind::ContentBytes: return FLimits.ContentBytes;
    case TPDFBudgetKind::Words: return FLimits.Words;
    default: return 0;
  }
}

const std::string* TPDFPageBudget::Content(const TPDFStream& Stream) {
  if (Exhausted()) return nullptr;
  const auto Read = [this](const std::string* Content) -> const std::string* {
    FRead += Content->size();
    if (FRead > FLimits.ContentBytes) {
      Spend(TPDFBudgetKind::ContentBytes);
      return nullptr;
    }
    return Content;
  };
  auto Found = FContents.find(&Stream);
  if (Found != FContents.end()) return Read(Found->second.get());
  bool Cut = false;
  auto Data = std::make_unique<std::string>(Stream.GetDecodedData(Cut));
  if (Cut) {
    FCut = true;
    FCutAt = Stream.Structure()->MaxDecodedSize;
  }
  FDecoded += Data->size();
  if (FDecoded > FLimits.DecodedBytes) {
    Spend(TPDFBudgetKind::DecodedBytes);
    return nullptr;
  }
  return Read(FContents.emplace(&Stream, std::move(Data)).first->second.get());
}
