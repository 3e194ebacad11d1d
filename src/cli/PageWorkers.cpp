// One document's pages read by several worker processes.
#include "PageWorkers.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <csignal>
#include <cstring>
#include <stdexcept>

#include "uPDFEngine.h"

namespace {

// What precedes a page's text in a worker's pipe.
struct TRecord {
  int32_t Page;
  uint8_t NoText;
  uint8_t Recognised;
  uint8_t Unread;
  uint8_t Exceeded;
  uint8_t Layout;    // the text is the packed layout of the page
  uint64_t Warnings;  // bytes of the OCR warnings, each ending in a line feed, after the text
  uint64_t Limit;
  uint64_t CutAt;
  uint64_t Length;
};

bool WriteAll(int Fd, const char* Data, size_t Size) {
  while (Size > 0) {
    const ssize_t N = ::write(Fd, Data, Size);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return false;
    Data += N;
    Size -= static_cast<size_t>(N);
  }
  return true;
}

bool ReadAll(int Fd, char* Data, size_t Size) {
  while (Size > 0) {
    const ssize_t N = ::read(Fd, Data, Size);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return false;
    Data += N;
    Size -= static_cast<size_t>(N);
  }
  return true;
}

// A worker's life: the document loaded once, then the pages Pages[First],
// Pages[First + Step], ... into Fd.
[[noreturn]] void Work(const TPageWorkerDocument& D, const std::vector<int32_t>& Pages, size_t First, size_t Step,
                       const TPDFLimits& Limits, std::optional<TPDFPageBudget::TClock::time_point> Deadline, int Fd) {
  try {
    TPDFEngine Engine(D.CodePage);
    Engine.Repair = D.Repair;
    const TPDFStatus Loaded = D.Data && D.Data->has_value() ? Engine.LoadFromData(**D.Data) : Engine.LoadFromFile(D.File);
    if (!Loaded) ::_exit(3);
    Engine.SetPassword(D.Password);
    Engine.Limits = Limits;
    Engine.Deadline = Deadline;
    Engine.OCRMode = D.OCRMode;
    Engine.OCRLanguages = D.OCRLanguages;
    for (size_t I = First; I < Pages.size(); I += Step) {
      const TPageResult R = ReadPage(Engine, Pages[I], D.Mode, D.TextType, D.Layout);
      std::string Warnings;
      for (const std::string& W : R.OCRWarnings) Warnings += W + "\n";
      const std::string Body = R.Layout ? PackReadingPage(*R.Layout) : R.Text;
      const TRecord Head{Pages[I],        R.NoText, R.Recognised, R.Unread, static_cast<uint8_t>(R.Exceeded),
                         R.Layout.has_value(), Warnings.size(), R.Limit, R.CutAt, Body.size()};
      if (!WriteAll(Fd, reinterpret_cast<const char*>(&Head), sizeof Head) ||
          !WriteAll(Fd, Body.data(), Body.size()) || !WriteAll(Fd, Warnings.data(), Warnings.size()))
        ::_exit(1);
      if (R.Exceeded == TPDFBudgetKind::Time) break;
    }
    ::_exit(0);
  } catch (...) {
    ::_exit(4);
  }
}

}  // namespace

TPageWorkers::TPageWorkers(TPageWorkerDocument Document, int Jobs) : FDocument(std::move(Document)), FJobs(Jobs) {}

TPageWorkers::~TPageWorkers() { Finish(); }

void TPageWorkers::Start(const std::vector<int32_t>& Pages, const TPDFLimits& Limits,
                         std::optional<TPDFPageBudget::TClock::time_point> Deadline) {
  Finish();
  FNext = 0;
  const size_t Count = std::min<size_t>(static_cast<size_t>(std::max(FJobs, 1)), std::max<size_t>(Pages.size(), 1));
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t Parent = ::getpid();
  for (size_t K = 0; K < Count; ++K) {
    int Pipe[2];
    if (::pipe2(Pipe, O_CLOEXEC) != 0) throw std::runtime_error(std::string("Cannot start a worker. ") + std::strerror(errno));
    // A worker runs ahead of the pages written by what its pipe holds.
    ::fcntl(Pipe[1], F_SETPIPE_SZ, 1 << 20);
    const pid_t Pid = ::fork();
    if (Pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != Parent) ::_exit(1);
      ::signal(SIGINT, SIG_IGN);  // the parent stops the run; it ends the workers
      ::close(Pipe[0]);
      for (const TWorker& W : FWorkers) ::close(W.Fd);
      Work(FDocument, Pages, K, Count, Limits, Deadline, Pipe[1]);
    }
    ::close(Pipe[1]);
    if (Pid < 0) {
      ::close(Pipe[0]);
      throw std::runtime_error(std::string("Cannot start a worker. ") + std::strerror(errno));
    }
    FWorkers.push_back({Pid, Pipe[0]});
  }
}

TPageResult TPageWorkers::Next(int32_t Page) {
  if (FWorkers.empty()) throw std::runtime_error("No worker reads the pages.");
  const TWorker& W = FWorkers[FNext++ % FWorkers.size()];
  TRecord Head{};
  TPageResult R;
  if (!ReadAll(W.Fd, reinterpret_cast<char*>(&Head), sizeof Head) || Head.Page != Page)
    throw std::runtime_error("The worker reading page " + std::to_string(Page) + " ended before it.");
  R.Text.resize(Head.Length);
  std::string Warnings(Head.Warnings, '\0');
  if (!ReadAll(W.Fd, R.Text.data(), R.Text.size()) || !ReadAll(W.Fd, Warnings.data(), Warnings.size()))
    throw std::runtime_error("The worker reading page " + std::to_string(Page) + " ended before it.");
  if (Head.Layout) {
    R.Layout.emplace();
    if (!UnpackReadingPage(R.Text, *R.Layout))
      throw std::runtime_error("The worker reading page " + std::to_string(Page) + " sent it garbled.");
    R.Text = ReadingOrderText(*R.Layout);
  }
  for (size_t At = 0, End; (End = Warnings.find('\n', At)) != std::string::npos; At = End + 1)
    R.OCRWarnings.push_back(Warnings.substr(At, End - At));
  R.NoText = Head.NoText != 0;
  R.Recognised = Head.Recognised != 0;
  R.Unread = Head.Unread != 0;
  R.Exceeded = static_cast<TPDFBudgetKind>(Head.Exceeded);
  R.Limit = Head.Limit;
  R.CutAt = Head.CutAt;
  return R;
}

void TPageWorkers::Finish() {
  for (TWorker& W : FWorkers) {
    ::kill(W.Pid, SIGKILL);
    ::close(W.Fd);
    int Status;
    while (::waitpid(W.Pid, &Status, 0) < 0 && errno == EINTR) {
    }
  }
  FWorkers.clear();
}
