// Work budgets of one page: what reading a page's text may cost at most, so
// that a small hostile file cannot make a page run without end or fill the
// memory. The page's content streams (its forms' too) are decoded once per
// page and shared by every reference to them.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TPDFStream;

// The budgets, in the order a page spends them.
enum class TPDFBudgetKind : uint8_t { None, Operators, Glyphs, DecodedBytes, ContentBytes, Words, Time };

// "operators", "glyphs", "decoded bytes", "content bytes", "words", "time";
// "" for None.
const char* BudgetName(TPDFBudgetKind Kind);

// What one page may cost. The defaults are hundreds of times the largest
// pages measured in real files (the most: 36,000 operators, 6,200 glyphs,
// 2.1 MB of decoded content and 5,100 words on one page).
struct TPDFLimits {
  // Content operators run, counted across forms and appearances.
  uint64_t Operators = 10'000'000;
  // Glyphs shown.
  uint64_t Glyphs = 2'000'000;
  // Bytes of content decoded for the page (each stream once).
  uint64_t DecodedBytes = uint64_t{512} << 20;
  // Bytes of content read, each stream as often as it is drawn.
  uint64_t ContentBytes = uint64_t{4} << 30;
  // Words (positioned fragments) handed to the layouts.
  uint64_t Words = 1'000'000;
};

// The budget of one page: counts what the page spends and tells when it is
// spent, and holds the page's decoded content. Once a budget is spent, every
// count says so and the page stops; its text so far stays.
// One thread at a time.
class TPDFPageBudget {
 public:
  using TClock = std::chrono::steady_clock;

  explicit TPDFPageBudget(const TPDFLimits& Limits = {}, std::optional<TClock::time_point> Deadline = {});

  // Each count adds to its budget and is false once any budget is spent.
  bool Operator() {
    if (++FOperators > FLimits.Operators) return Spend(TPDFBudgetKind::Operators);
    if ((FOperators & 1023) == 0 && !CheckDeadline()) return false;
    return FExceeded == TPDFBudgetKind::None;
  }
  bool Glyphs(uint64_t Count) {
    FGlyphs += Count;
    if (FGlyphs > FLimits.Glyphs) return Spend(TPDFBudgetKind::Glyphs);
    return FExceeded == TPDFBudgetKind::None;
  }
  bool Word() {
    if (++FWords > FLimits.Words) return Spend(TPDFBudgetKind::Words);
    return FExceeded == TPDFBudgetKind::None;
  }
  // Bytes the page holds beside its decoded content (a string two streams
  // share, joined), counted with the decoded bytes.
  bool Hold(uint64_t Bytes) {
    FDecoded += Bytes;
    if (FDecoded > FLimits.DecodedBytes) return Spend(TPDFBudgetKind::DecodedBytes);
    return FExceeded == TPDFBudgetKind::None;
  }
  // Content bytes read once more (an inline image's data walked to find
  // where they end), counted with the content bytes.
  bool Reread(uint64_t Bytes) {
    FRead += Bytes;
    if (FRead > FLimits.ContentBytes) return Spend(TPDFBudgetKind::ContentBytes);
    return FExceeded == TPDFBudgetKind::None;
  }
  // False (and the time spent) once the deadline has passed.
  bool CheckDeadline();

  // The decoded content of Stream, decoded at its first use on this page and
  // shared afterwards; each call reads it once more. Null when decoding or
  // reading it overruns its budget (which is then spent).
  const std::string* Content(const TPDFStream& Stream);

  bool Exhausted() const { return FExceeded != TPDFBudgetKind::None; }
  // The budget that stopped the page, or None.
  TPDFBudgetKind Exceeded() const { return FExceeded; }
  // The limit of Kind (for Time: the seconds are the caller's to tell).
  uint64_t Limit(TPDFBudgetKind Kind) const;
  // Whether a stream's content was cut at the structure's cap on decoded
  // size (its text past the cap is lost), and that cap.
  bool Cut() const { return FCut; }
  size_t CutAt() const { return FCutAt; }

  // What was spent (for measuring real pages).
  uint64_t OperatorsSpent() const { return FOperators; }
  uint64_t GlyphsSpent() const { return FGlyphs; }
  uint64_t DecodedSpent() const { return FDecoded; }
  uint64_t WordsSpent() const { return FWords; }

 private:
  bool Spend(TPDFBudgetKind Kind) {
    if (FExceeded == TPDFBudgetKind::None) FExceeded = Kind;
    return false;
  }

  TPDFLimits FLimits;
  std::optional<TClock::time_point> FDeadline;
  uint64_t FOperators = 0, FGlyphs = 0, FDecoded = 0, FRead = 0, FWords = 0;
  TPDFBudgetKind FExceeded = TPDFBudgetKind::None;
  bool FCut = false;
  size_t FCutAt = 0;
  std::unordered_map<const TPDFStream*, std::unique_ptr<std::string>> FContents;
};

// The time Seconds from now, for a deadline; whether Deadline (if any) has
// passed.
TPDFPageBudget::TClock::time_point DeadlineAfter(double Seconds);
bool DeadlinePassed(const std::optional<TPDFPageBudget::TClock::time_point>& Deadline);

// Content streams read one after another as one content (a token never runs
// from one into the next).
using TPDFContentParts = std::vector<std::string_view>;
