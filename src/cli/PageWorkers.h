// One document's pages read by several worker processes: the single-file
// form with -j N.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Names.h"
#include "main.h"

class TCodePage;

// What a worker needs to read the document as the run reads it.
struct TPageWorkerDocument {
  // The file, or (when Data is set) its bytes.
  std::string File;
  const std::optional<std::string>* Data = nullptr;
  std::string Password;
  bool Repair = true;
  std::shared_ptr<const TCodePage> CodePage;
  std::optional<TPDFTextMode> Mode;
  TTextType TextType = TTextType::Reflow;
  // Pages as data in the reading-order layout (ReadPage's Layout).
  bool Layout = false;
  TPDFOCRMode OCRMode = TPDFOCRMode::Auto;
  std::string OCRLanguages;
};

// Start forks Jobs workers; each loads the document once and reads every
// Jobs-th page of the run, in order, into a pipe of its own; Next reads the
// pages back in the run's order, so the output is byte for byte what one
// process writes. Workers die with their parent and are killed by Finish.
class TPageWorkers : public TPageSource {
 public:
  TPageWorkers(TPageWorkerDocument Document, int Jobs);
  ~TPageWorkers() override;
  TPageWorkers(const TPageWorkers&) = delete;
  TPageWorkers& operator=(const TPageWorkers&) = delete;

  void Start(const std::vector<int32_t>& Pages, const TPDFLimits& Limits,
             std::optional<TPDFPageBudget::TClock::time_point> Deadline) override;
  TPageResult Next(int32_t Page) override;
  void Finish() override;

 private:
  struct TWorker {
    pid_t Pid = -1;
    int Fd = -1;
  };
  TPageWorkerDocument FDocument;
  int FJobs;
  std::vector<TWorker> FWorkers;
  size_t FNext = 0;
};
