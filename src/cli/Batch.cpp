// The batch form of the console program.
//
// The parent process collects the files, hands them one at a time to worker
// processes over pipes and writes the log; each worker runs the same run
// logic as the single-file form on one file after another. A worker that
// crashes takes only its current file with it: the parent counts that file as
// failed, removes its temporary output and starts a new worker.
#include "Batch.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "CodePage.h"
#include "Report.h"
#include "SettingsStore.h"
#include "Shell.h"
#include "Utility.h"
#include "main.h"
#include "option.h"
#include "uPDFEngine.h"

namespace {

namespace fs = std::filesystem;

// ================================================================ collecting files

bool HasPdfExtension(const std::string& Name) {
  if (Name.size() < 4) return false;
  const std::string Ext = Name.substr(Name.size() - 4);
  return Ext[0] == '.' && (Ext[1] | 0x20) == 'p' && (Ext[2] | 0x20) == 'd' && (Ext[3] | 0x20) == 'f';
}

std::string JoinPath(const std::string& Folder, const std::string& Name) {
  if (Folder.empty()) return Name;
  return Folder.back() == '/' ? Folder + Name : Folder + "/" + Name;
}

class TCollector {
 public:
  // Outputs are named by Suffix (".txt").
  TCollector(std::string OutputDir, std::vector<TBatchJob>& Jobs, std::string Suffix)
      : FOutputDir(std::move(OutputDir)), FJobs(Jobs), FSuffix(std::move(Suffix)) {}

  void AddInput(const std::string& Input) {
    struct stat St {};
    if (::stat(Input.c_str(), &St) != 0) {
      FPending.push_back({Input, "", "", std::strerror(errno)});
      return;
    }
    if (S_ISDIR(St.st_mode)) {
      std::string Name = Input;
      while (Name.size() > 1 && Name.back() == '/') Name.pop_back();
      FFolder = ExtractFileName(Name);
      if (FVisited.insert({St.st_dev, St.st_ino}).second) Walk(Input, "");
      FFolder.clear();
      return;
    }
    Add(Input, ChangeFileExt(ExtractFileName(Input), FSuffix));
  }

  // Settles the outputs once every input is collected: files of different
  // folder inputs that would write the same output go below their folder's
  // name instead (a/x.pdf and b/x.pdf: DIR/a/x.txt and DIR/b/x.txt); a
  // collision that remains fails the later file.
  void Finish() {
    std::map<std::string, std::set<std::pair<dev_t, ino_t>>> Writers;
    for (const TPending& P : FPending) {
      struct stat St {};
      if (P.Error.empty() && ::stat(P.Input.c_str(), &St) == 0) {
        Writers[P.Relative].insert({St.st_dev, St.st_ino});
        FInputIds.insert({St.st_dev, St.st_ino});
      }
    }
    for (const TPending& P : FPending) {
      if (!P.Error.empty()) {
        FJobs.push_back({P.Input, "", P.Error, true});
        continue;
      }
      const bool Collides = Writers[P.Relative].size() > 1 && !P.Folder.empty() && P.Folder != "." && P.Folder != "..";
      Place(P.Input, Collides ? P.Folder + "/" + P.Relative : P.Relative);
    }
    FPending.clear();
  }

 private:
  // The PDF files below Folder, in name order; Relative is Folder's place
  // below the input ("" or ending in "/").
  void Walk(const std::string& Folder, const std::string& Relative) {
    std::vector<std::string> Names;
    if (DIR* D = ::opendir(Folder.c_str())) {
      while (dirent* E = ::readdir(D)) {
        const std::string Name = E->d_name;
        if (Name != "." && Name != "..") Names.push_back(Name);
      }
      ::closedir(D);
    } else {
      FJobs.push_back({Folder, "", std::strerror(errno), true});
      return;
    }
    std::sort(Names.begin(), Names.end());
    for (const std::string& Name : Names) {
      const std::string Path = JoinPath(Folder, Name);
      struct stat St {};
      if (::stat(Path.c_str(), &St) != 0) continue;  // a dangling link
      if (S_ISDIR(St.st_mode)) {
        // Each folder once: a link back up the tree, or a second way to the
        // same folder, is not walked again.
        if (FVisited.insert({St.st_dev, St.st_ino}).second) Walk(Path, Relative + Name + "/");
      } else if (S_ISREG(St.st_mode) && HasPdfExtension(Name)) {
        Add(Path, Relative + ChangeFileExt(Name, FSuffix));
      }
    }
  }

  void Add(const std::string& Input, const std::string& Relative) { FPending.push_back({Input, Relative, FFolder, ""}); }

  void Place(const std::string& Input, const std::string& Relative) {
    TBatchJob Job{Input, JoinPath(FOutputDir, Relative), "", false};
    // Nothing is written over an input (also through a link).
    if (struct stat St {}; ::stat(Job.Output.c_str(), &St) == 0 && FInputIds.count({St.st_dev, St.st_ino})) {
      Job.Error = "its output " + Job.Output + " is one of the inputs";
      FJobs.push_back(std::move(Job));
      return;
    }
    auto [It, New] = FOutputs.emplace(Job.Output, Input);
    if (!New) {
      // The same file reached twice (named and inside a named folder) is one
      // job; another file with the same output cannot be written.
      if (SameFile(Input, It->second)) return;
      Job.Error = "its output " + Job.Output + " is also the output of " + It->second;
    }
    FJobs.push_back(std::move(Job));
  }

  // A file found, before its output is settled: the folder input it was
  // found below ("" for a file named as input), or the error of an input.
  struct TPending {
    std::string Input, Relative, Folder, Error;
  };
  const std::string FOutputDir;
  std::vector<TBatchJob>& FJobs;
  const std::string FSuffix;
  std::vector<TPending> FPending;
  std::string FFolder;
  std::set<std::pair<dev_t, ino_t>> FInputIds;
  std::set<std::pair<dev_t, ino_t>> FVisited;
  std::map<std::string, std::string> FOutputs;
};

// ================================================================ worker side

enum class TResult { Extracted = 0, Skipped, NotOpened, Failed, Stopped };

// Set by Ctrl-C in a worker: the file under way stops after its current page.
volatile std::sig_atomic_t WorkerInterrupted = 0;
extern "C" void OnWorkerInterrupt(int) { WorkerInterrupted = 1; }

// The temporary output of the worker's file under way, removed when the
// worker is told to end (TERM, which it is also sent when its parent dies).
char WorkerTemp[4096];
volatile std::sig_atomic_t WorkerTempSet = 0;
extern "C" void OnWorkerTerminate(int) {
  if (WorkerTempSet) ::unlink(WorkerTemp);
  ::_exit(128 + SIGTERM);
}

// Ctrl-C in the parent: the first stops the run after the files under way,
// a second one (or TERM) ends it at once.
volatile std::sig_atomic_t ParentInterrupted = 0;
volatile std::sig_atomic_t ParentTerminated = 0;
extern "C" void OnParentInterrupt(int) {
  if (ParentInterrupted) ParentTerminated = 1;
  ParentInterrupted = 1;
}
extern "C" void OnParentTerminate(int) { ParentTerminated = 1; }

// Writes a whole line to Fd; false when the other side is gone. The line
// holds no line break (names in it are escaped).
bool WriteLine(int Fd, std::string Line) {
  Line += '\n';
  for (size_t At = 0; At < Line.size();) {
    const ssize_t N = ::write(Fd, Line.data() + At, Line.size() - At);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return false;
    At += static_cast<size_t>(N);
  }
  return true;
}

// The host of one file's run in a worker: no dialogs, no log of its own; it
// reports pages and the temporary file to the parent.
class TWorkerHost : public TMainHost {
 public:
  TWorkerHost(const TBatchOptions& O, std::string Output, int ReportFd)
      : FOptions(O), FOutput(std::move(Output)), FReportFd(ReportFd) {}
  TMainLogic* Logic = nullptr;
  bool PasswordTried = false;

  bool ChooseOutputFile(const std::string&, std::string& FileName) override {
    // The folders below the output folder, made only for a file that opened,
    // and never through a symbolic link.
    std::string Error;
    if (!MakeOutputFolders(FOptions.OutputDir, FOutput, Error)) throw EWriteError(Error);
    FileName = FOutput;
    return true;
  }
  bool AskPassword(const std::string&, std::string& Value) override {
    if (PasswordTried || !FOptions.Password) return false;
    PasswordTried = true;
    Value = *FOptions.Password;
    return true;
  }
  bool AskYesNo(const std::string&) override { return false; }
  void OpenFile(const std::string&) override {}
  void LogAppend(const std::string&) override {}
  void LogReplaceLast(const std::string&) override {}
  void EnableAction(TAction, bool) override {}
  void ProcessMessages() override {
    if (WorkerInterrupted && Logic) Logic->aStopExecute();
  }
  void PageDone(int32_t, int32_t, int32_t) override { WriteLine(FReportFd, "P"); }
  void TemporaryFileCreated(const std::string& TempName) override {
    if (TempName.size() < sizeof WorkerTemp) {
      WorkerTempSet = 0;
      std::memcpy(WorkerTemp, TempName.c_str(), TempName.size() + 1);
      WorkerTempSet = 1;
    }
    WriteLine(FReportFd, "T " + EscapeLine(TempName));
  }

 private:
  const TBatchOptions& FOptions;
  const std::string FOutput;
  const int FReportFd;
};

struct TOutcome {
  TResult Result;
  TPDFStatus Status;
  TRunFacts Facts;
};

// One file, as the single-file form extracts it; gives the result, its cause
// and what the run did.
TOutcome ExtractOne(const TBatchOptions& O, const TBatchJob& Job, int ReportFd) {
  TRunFacts Facts;
  try {
    TPDFEngine Engine;
    Engine.CodePage = O.CodePage;
    TMemorySettingsStore Stored;
    Stored.Values = O.StoredSettings;
    TSettings Settings(Stored);
    TWorkerHost Host(O, Job.Output, ReportFd);
    TMainLogic Logic(Engine, Settings, Host);
    Host.Logic = &Logic;
    Logic.WriteWhenStopped = false;
    Logic.PageTextMode = O.PageText;
    Logic.Format = O.Format;
    Logic.PageBreaks = O.PageBreaks;
    Logic.PageMarks = O.PageMarks;
    Logic.AllowTruncation = O.AllowTruncation;
    if (TPDFStatus Opened = Logic.OpenPDFFile(Job.Input); !Opened) return {TResult::NotOpened, Opened, Facts};
    if (O.ApplyOptions) O.ApplyOptions(Settings);
    Settings.Timeout = O.Timeout;
    // What the run did, also when it ends by an error.
    struct TFacts {
      TMainLogic& L;
      TRunFacts& F;
      ~TFacts() { F = L.RunFacts(); }
    };
    TFacts Keep{Logic, Facts};
    const TRunResult Result = Logic.aExtractExecute();
    Facts = Logic.RunFacts();
    switch (Result) {
      case TRunResult::Finished:
      case TRunResult::Cancelled:
        return {TResult::Extracted, {}, Facts};
      case TRunResult::Stopped:
        return {TResult::Stopped, {}, Facts};
      case TRunResult::LoadFailed:
        return {TResult::NotOpened, Logic.RunStatus(), Facts};
    }
    return {TResult::Failed, TPDFStatus::Failure(TPDFStatusKind::Internal, "unknown result"), Facts};
  } catch (const ERunLimit& E) {
    return {TResult::Failed, E.Status(), Facts};
  } catch (const EWriteError& E) {
    return {TResult::Failed, TPDFStatus::Failure(TPDFStatusKind::WriteError, E.what()), Facts};
  } catch (const std::bad_alloc&) {
    return {TResult::Failed, TPDFStatus::Failure(TPDFStatusKind::Memory, "out of memory"), Facts};
  } catch (const std::exception& E) {
    return {TResult::Failed, TPDFStatus::Failure(TPDFStatusKind::Internal, E.what()), Facts};
  }
}

// A worker's life: job numbers come in on JobFd, one per line; reports go
// out on ReportFd ("P" per page, "T NAME" for a temporary file, "R RESULT
// KIND PAGES CHARS REPAIRED BUDGET MESSAGE" per file, the numbers of the
// enumerations and the name and message escaped). Ends when JobFd closes.
void WorkerLoop(const TBatchOptions& O, const std::vector<TBatchJob>& Jobs, int JobFd, int ReportFd) {
  std::string Buffer;
  char Chunk[64];
  for (;;) {
    size_t End;
    while ((End = Buffer.find('\n')) == std::string::npos) {
      const ssize_t N = ::read(JobFd, Chunk, sizeof Chunk);
      if (N < 0 && errno == EINTR) continue;
      if (N <= 0) return;
      Buffer.append(Chunk, static_cast<size_t>(N));
    }
    const size_t Index = std::strtoul(Buffer.substr(0, End).c_str(), nullptr, 10);
    Buffer.erase(0, End + 1);
    if (Index >= Jobs.size()) return;
    const TOutcome Outcome = ExtractOne(O, Jobs[Index], ReportFd);
    WorkerTempSet = 0;
    const TRunFacts& F = Outcome.Facts;
    if (!WriteLine(ReportFd, "R " + std::to_string(static_cast<int>(Outcome.Result)) + " " +
                                 std::to_string(static_cast<int>(Outcome.Status.Kind)) + " " + std::to_string(F.Pages) +
                                 " " + std::to_string(F.Chars) + " " + (F.Repaired ? "1" : "0") + " " +
                                 (F.Budget ? "1" : "0") + " " + EscapeLine(Outcome.Status.Message)))
      return;
  }
}

// ================================================================ parent side

struct TWorker {
  pid_t Pid = -1;
  int JobFd = -1, ReportFd = -1;
  // The job under way, or -1, and when it started.
  long Job = -1;
  std::chrono::steady_clock::time_point Started{};
  // Killed for taking too long.
  bool TimedOut = false;
  std::string Buffer, Temp;
};

// What a file's line in the log and the report say.
struct TFileEnd {
  TResult Result;
  TPDFStatusKind Kind = TPDFStatusKind::Ok;
  std::string Message;
  TRunFacts Facts;
};

class TBatchRun {
 public:
  TBatchRun(const TBatchOptions& O, std::vector<TBatchJob> Jobs)
      : FOptions(O),
        FJobs(std::move(Jobs)),
        FProgress(!O.Quiet && ::isatty(STDERR_FILENO)),
        FStart(std::chrono::steady_clock::now()) {}

  int Run() {
    if (!FOptions.Report.empty() && !FReport.Open(FOptions.Report)) {
      std::fprintf(stderr, "%s\n", FReport.Error().c_str());
      return 4;
    }
    for (const TBatchJob& Job : FJobs)
      if (!Job.Error.empty()) ++FPreDone;
    const long Pending = static_cast<long>(FJobs.size()) - FPreDone;
    // Files that cannot be extracted at all are reported first.
    for (size_t I = 0; I < FJobs.size(); ++I)
      if (!FJobs[I].Error.empty())
        Finish(I, FJobs[I].Missing ? TFileEnd{TResult::NotOpened, TPDFStatusKind::Unreadable, FJobs[I].Error, {}}
                                   : TFileEnd{TResult::Failed, TPDFStatusKind::WriteError, FJobs[I].Error, {}});

    struct sigaction Action {}, OldInt {}, OldPipe {}, OldTerm {};
    Action.sa_handler = OnParentInterrupt;  // no SA_RESTART: poll wakes up
    sigemptyset(&Action.sa_mask);
    ::sigaction(SIGINT, &Action, &OldInt);
    struct sigaction Terminate {};
    Terminate.sa_handler = OnParentTerminate;
    sigemptyset(&Terminate.sa_mask);
    ::sigaction(SIGTERM, &Terminate, &OldTerm);
    struct sigaction Ignore {};
    Ignore.sa_handler = SIG_IGN;
    sigemptyset(&Ignore.sa_mask);
    ::sigaction(SIGPIPE, &Ignore, &OldPipe);

    const long Wanted = std::min<long>(std::max(FOptions.Jobs, 1), std::max<long>(Pending, 0));
    for (long I = 0; I < Wanted; ++I) Spawn();
    Loop();
    ClearProgress();

    ::sigaction(SIGPIPE, &OldPipe, nullptr);
    ::sigaction(SIGTERM, &OldTerm, nullptr);
    ::sigaction(SIGINT, &OldInt, nullptr);

    // Files never started (after Ctrl-C) are counted too, when there are any,
    // and named in the report.
    long Ended = FStopped;
    for (long Count : FCount) Ended += Count;
    const long NotStarted = static_cast<long>(FJobs.size()) - Ended;
    if (NotStarted > 0 && FReport.IsOpen())
      for (size_t I = 0; I < FJobs.size(); ++I)
        if (!FEnded.count(I)) WriteReport(I, {TResult::Skipped, TPDFStatusKind::Ok, "not started: the run was stopped", {}}, 0);
    std::fprintf(stderr, "%zu files: %ld extracted, %ld skipped, %ld not opened, %ld failed%s\n", FJobs.size(),
                 FCount[static_cast<int>(TResult::Extracted)], FCount[static_cast<int>(TResult::Skipped)],
                 FCount[static_cast<int>(TResult::NotOpened)], FCount[static_cast<int>(TResult::Failed)],
                 NotStarted > 0 ? (", " + std::to_string(NotStarted) + " not started").c_str() : "");
    if (FStopping) return 1;
    if (FCount[static_cast<int>(TResult::Failed)]) return 4;
    if (FCount[static_cast<int>(TResult::NotOpened)]) return 3;
    return 0;
  }

 private:
  void Spawn() {
    int ToWorker[2], FromWorker[2];
    if (::pipe2(ToWorker, O_CLOEXEC) != 0) return;
    if (::pipe2(FromWorker, O_CLOEXEC) != 0) {
      ::close(ToWorker[0]);
      ::close(ToWorker[1]);
      return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // Ctrl-C is held back until the new worker has its own handler.
    sigset_t Block, Old;
    sigemptyset(&Block);
    sigaddset(&Block, SIGINT);
    ::sigprocmask(SIG_BLOCK, &Block, &Old);
    const pid_t Parent = ::getpid();
    const pid_t Pid = ::fork();
    if (Pid == 0) {
      struct sigaction Action {};
      Action.sa_handler = OnWorkerInterrupt;
      sigemptyset(&Action.sa_mask);
      ::sigaction(SIGINT, &Action, nullptr);
      struct sigaction Terminate {};
      Terminate.sa_handler = OnWorkerTerminate;
      sigemptyset(&Terminate.sa_mask);
      ::sigaction(SIGTERM, &Terminate, nullptr);
      ::signal(SIGPIPE, SIG_DFL);
      // The worker ends with its parent, however the parent ends.
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != Parent) ::_exit(1);
      WorkerInterrupted = ParentInterrupted;
      ::sigprocmask(SIG_SETMASK, &Old, nullptr);
      if (FOptions.MaxMemory) LimitAddressSpace(FOptions.MaxMemory << 20);
      // Only its own ends of its own pipes: the parent must see a pipe end
      // when the worker that writes it ends.
      for (const TWorker& W : FWorkers) {
        ::close(W.JobFd);
        ::close(W.ReportFd);
      }
      ::close(ToWorker[1]);
      ::close(FromWorker[0]);
      WorkerLoop(FOptions, FJobs, ToWorker[0], FromWorker[1]);
      ::close(ToWorker[0]);
      ::close(FromWorker[1]);
      std::exit(0);
    }
    ::sigprocmask(SIG_SETMASK, &Old, nullptr);
    ::close(ToWorker[0]);
    ::close(FromWorker[1]);
    if (Pid < 0) {
      ::close(ToWorker[1]);
      ::close(FromWorker[0]);
      return;
    }
    TWorker W;
    W.Pid = Pid;
    W.JobFd = ToWorker[1];
    W.ReportFd = FromWorker[0];
    FWorkers.push_back(std::move(W));
    Assign(FWorkers.back());
  }

  // Gives an idle worker the next file, or closes its job pipe when none is
  // left (it then ends).
  void Assign(TWorker& W) {
    while (!FStopping && FNext < FJobs.size()) {
      const size_t I = FNext++;
      const TBatchJob& Job = FJobs[I];
      if (!Job.Error.empty()) continue;
      std::error_code Ec;
      if (FOptions.SkipExisting && fs::exists(fs::symlink_status(Job.Output, Ec))) {
        Finish(I, {TResult::Skipped, TPDFStatusKind::Ok, Job.Output + " exists", {}});
        continue;
      }
      W.Job = static_cast<long>(I);
      W.Started = std::chrono::steady_clock::now();
      W.Temp.clear();
      if (WriteLine(W.JobFd, std::to_string(I))) return;
      W.Job = -1;
      --FNext;  // the worker is gone; its end is seen on its report pipe
      return;
    }
    if (W.JobFd >= 0) {
      ::close(W.JobFd);
      W.JobFd = -1;
    }
  }

  void Loop() {
    using namespace std::chrono;
    while (!FWorkers.empty()) {
      if (ParentTerminated) {
        Terminate();
        return;
      }
      if (ParentInterrupted && !FStopping) Stop();
      KillLate();
      std::vector<pollfd> Fds;
      for (const TWorker& W : FWorkers) Fds.push_back({W.ReportFd, POLLIN, 0});
      const int N = ::poll(Fds.data(), Fds.size(), PollTimeout());
      if (N < 0) continue;  // EINTR: Ctrl-C
      for (size_t I = Fds.size(); I-- > 0;) {
        if (!(Fds[I].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char Chunk[4096];
        const ssize_t Got = ::read(FWorkers[I].ReportFd, Chunk, sizeof Chunk);
        if (Got < 0 && errno == EINTR) continue;
        if (Got > 0) {
          FWorkers[I].Buffer.append(Chunk, static_cast<size_t>(Got));
          HandleReports(FWorkers[I]);
        } else {
          Ended(I);
        }
      }
      ShowProgress(false);
    }
  }

  void HandleReports(TWorker& W) {
    size_t End;
    while ((End = W.Buffer.find('\n')) != std::string::npos) {
      const std::string Line = W.Buffer.substr(0, End);
      W.Buffer.erase(0, End + 1);
      if (Line == "P") {
        ++FPages;
      } else if (Line.rfind("T ", 0) == 0) {
        W.Temp = UnescapeLine(Line.substr(2));
      } else if (Line.rfind("R ", 0) == 0 && W.Job >= 0) {
        // "R RESULT KIND PAGES CHARS REPAIRED BUDGET MESSAGE".
        long long Fields[6] = {};
        size_t At = 2;
        for (long long& Field : Fields) {
          const size_t Space = Line.find(' ', At);
          Field = std::strtoll(Line.c_str() + At, nullptr, 10);
          At = Space == std::string::npos ? Line.size() : Space + 1;
        }
        TFileEnd End{static_cast<TResult>(std::clamp<long long>(Fields[0], 0, 4)),
                     static_cast<TPDFStatusKind>(std::clamp<long long>(Fields[1], 0, static_cast<int>(TPDFStatusKind::Internal))),
                     UnescapeLine(Line.substr(At)),
                     {}};
        End.Facts.Pages = static_cast<int32_t>(Fields[2]);
        End.Facts.Chars = static_cast<uint64_t>(std::max<long long>(Fields[3], 0));
        End.Facts.Repaired = Fields[4] != 0;
        End.Facts.Budget = Fields[5] != 0;
        const size_t Job = static_cast<size_t>(W.Job);
        W.Job = -1;
        W.Temp.clear();
        Finish(Job, End, W.Started);
        Assign(W);
      }
    }
  }

  // A worker's report pipe ended: the worker is gone. When it had a file
  // under way, it crashed (or was killed) on that file.
  void Ended(size_t Index) {
    TWorker W = std::move(FWorkers[Index]);
    FWorkers.erase(FWorkers.begin() + static_cast<std::ptrdiff_t>(Index));
    ::close(W.ReportFd);
    if (W.JobFd >= 0) ::close(W.JobFd);
    int Status = 0;
    while (::waitpid(W.Pid, &Status, 0) < 0 && errno == EINTR) {
    }
    if (W.Job < 0) return;
    if (!W.Temp.empty()) ::unlink(W.Temp.c_str());
    TFileEnd End{TResult::Failed, TPDFStatusKind::Internal, "", {}};
    if (W.TimedOut) {
      End.Kind = TPDFStatusKind::Timeout;
      End.Message = "the file took longer than its time limit (" + std::to_string(FOptions.Timeout) + " s)";
    } else if (WIFSIGNALED(Status)) {
      End.Message = "the worker ended by signal " + std::to_string(WTERMSIG(Status)) + " (" + ::strsignal(WTERMSIG(Status)) + ")";
    } else {
      End.Message = "the worker ended with status " + std::to_string(WEXITSTATUS(Status));
    }
    Finish(static_cast<size_t>(W.Job), End, W.Started);
    if (!FStopping && FNext < FJobs.size()) Spawn();
  }

  // The time past which a worker is killed: a little after its own deadline,
  // which it checks between operators and pages (a worker stuck elsewhere,
  // or in a page that never gets there, is killed).
  std::chrono::steady_clock::duration KillAfter() const {
    return std::chrono::seconds(FOptions.Timeout) + std::chrono::seconds(2) + std::chrono::seconds(FOptions.Timeout) / 10;
  }

  void KillLate() {
    if (FOptions.Timeout <= 0) return;
    const auto Now = std::chrono::steady_clock::now();
    for (TWorker& W : FWorkers)
      if (W.Job >= 0 && !W.TimedOut && Now - W.Started >= KillAfter()) {
        ::kill(W.Pid, SIGKILL);
        W.TimedOut = true;
      }
  }

  // Milliseconds poll may wait: until the next progress line or the next
  // worker's time is up; -1 for no end.
  int PollTimeout() const {
    long long Wait = FProgress ? 250 : -1;
    if (FOptions.Timeout > 0) {
      const auto Now = std::chrono::steady_clock::now();
      for (const TWorker& W : FWorkers) {
        if (W.Job < 0 || W.TimedOut) continue;
        const long long Left =
            std::chrono::duration_cast<std::chrono::milliseconds>(W.Started + KillAfter() - Now).count() + 1;
        Wait = Wait < 0 ? std::max(Left, 0LL) : std::min(Wait, std::max(Left, 0LL));
      }
    }
    return static_cast<int>(std::min<long long>(Wait, 60000));
  }

  // TERM or a second Ctrl-C: the workers are killed at once and their
  // temporary files removed; the files under way count as stopped.
  void Terminate() {
    FStopping = true;
    for (TWorker& W : FWorkers) ::kill(W.Pid, SIGKILL);
    for (TWorker& W : FWorkers) {
      int Status = 0;
      while (::waitpid(W.Pid, &Status, 0) < 0 && errno == EINTR) {
      }
      // The last lines it sent may name its temporary file, or end its file.
      char Chunk[4096];
      for (ssize_t Got; (Got = ::read(W.ReportFd, Chunk, sizeof Chunk)) > 0;) W.Buffer.append(Chunk, static_cast<size_t>(Got));
      HandleReports(W);
      ::close(W.ReportFd);
      if (W.JobFd >= 0) ::close(W.JobFd);
      if (!W.Temp.empty()) ::unlink(W.Temp.c_str());
      if (W.Job >= 0) Finish(static_cast<size_t>(W.Job), {TResult::Stopped, TPDFStatusKind::Ok, "", {}}, W.Started);
    }
    FWorkers.clear();
  }

  // Ctrl-C: no file is started any more, and the files under way stop after
  // their current page.
  void Stop() {
    FStopping = true;
    for (TWorker& W : FWorkers) {
      if (W.Job >= 0) ::kill(W.Pid, SIGINT);
      if (W.JobFd >= 0) {
        ::close(W.JobFd);
        W.JobFd = -1;
      }
    }
  }

  void Finish(size_t Job, const TFileEnd& End, std::chrono::steady_clock::time_point Started = {}) {
    const TResult Result = End.Result;
    const std::string& Message = End.Message;
    if (Result != TResult::Stopped) ++FCount[static_cast<int>(Result)];
    else ++FStopped;
    ++FFilesDone;
    FEnded.insert(Job);
    WriteReport(Job, End,
                Started == std::chrono::steady_clock::time_point{}
                    ? 0
                    : std::chrono::duration<double>(std::chrono::steady_clock::now() - Started).count());
    if (FOptions.Quiet) return;
    ClearProgress();
    const std::string& Name = FJobs[Job].Input;
    switch (Result) {
      case TResult::Extracted: std::fprintf(stderr, "%s: extracted\n", Name.c_str()); break;
      case TResult::Skipped: std::fprintf(stderr, "%s: skipped, %s\n", Name.c_str(), Message.c_str()); break;
      case TResult::NotOpened: std::fprintf(stderr, "%s: not opened: %s\n", Name.c_str(), Message.c_str()); break;
      case TResult::Failed: std::fprintf(stderr, "%s: failed: %s\n", Name.c_str(), Message.c_str()); break;
      case TResult::Stopped: std::fprintf(stderr, "%s: stopped, not written\n", Name.c_str()); break;
    }
    ShowProgress(true);
  }

  void WriteReport(size_t Job, const TFileEnd& End, double Seconds) {
    if (!FReport.IsOpen()) return;
    static constexpr const char* Statuses[] = {"extracted", "skipped", "not_opened", "failed", "failed"};
    TReportEntry E;
    E.Path = FJobs[Job].Input;
    E.Output = FJobs[Job].Output;
    E.Status = Statuses[static_cast<int>(End.Result)];
    if (End.Kind != TPDFStatusKind::Ok) E.Kind = StatusKindName(End.Kind);
    else if (End.Facts.Budget) E.Kind = StatusKindName(TPDFStatusKind::Budget);
    E.Message = End.Result == TResult::Stopped ? "stopped, not written" : End.Message;
    E.Pages = End.Facts.Pages;
    E.Chars = End.Facts.Chars;
    E.Repaired = End.Facts.Repaired;
    E.Seconds = Seconds;
    if (!FReport.Write(E) && !FReportFailed) {
      FReportFailed = true;
      std::fprintf(stderr, "The report %s cannot be written: %s\n", FOptions.Report.c_str(), std::strerror(errno));
    }
  }

  // One line on a terminal: a bar over the files, files and pages done, pages
  // per second.
  void ShowProgress(bool Force) {
    if (!FProgress) return;
    const auto Now = std::chrono::steady_clock::now();
    if (!Force && Now - FShown < std::chrono::milliseconds(200)) return;
    FShown = Now;
    constexpr size_t Width = 24;
    const size_t Total = FJobs.size();
    const size_t Filled = Total ? std::min(FFilesDone, Total) * Width / Total : Width;
    const double Seconds = std::chrono::duration<double>(Now - FStart).count();
    std::fprintf(stderr, "\r\033[K[%s%s] %zu/%zu files, %ld pages, %.1f pages/s", std::string(Filled, '#').c_str(),
                 std::string(Width - Filled, ' ').c_str(), FFilesDone, Total, FPages,
                 Seconds > 0 ? static_cast<double>(FPages) / Seconds : 0.0);
    std::fflush(stderr);
    FShowing = true;
  }

  void ClearProgress() {
    if (!FShowing) return;
    std::fprintf(stderr, "\r\033[K");
    FShowing = false;
  }

  const TBatchOptions& FOptions;
  const std::vector<TBatchJob> FJobs;
  const bool FProgress;
  const std::chrono::steady_clock::time_point FStart;
  std::chrono::steady_clock::time_point FShown{};
  std::vector<TWorker> FWorkers;
  size_t FNext = 0;
  size_t FFilesDone = 0;
  long FStopped = 0;
  long FPreDone = 0;
  long FPages = 0;
  long FCount[5] = {};
  bool FStopping = false;
  bool FShowing = false;
  TReportWriter FReport;
  bool FReportFailed = false;
  std::set<size_t> FEnded;
};

}  // namespace

std::vector<TBatchJob> CollectBatchJobs(const std::vector<std::string>& Inputs, const std::string& OutputDir,
                                        const std::string& Suffix) {
  std::vector<TBatchJob> Jobs;
  TCollector Collector(OutputDir, Jobs, Suffix);
  for (const std::string& Input : Inputs) Collector.AddInput(Input);
  Collector.Finish();
  return Jobs;
}

int RunBatch(const TBatchOptions& Options) {
  std::error_code Ec;
  fs::create_directories(Options.OutputDir, Ec);
  if (!fs::is_directory(Options.OutputDir, Ec)) {
    std::fprintf(stderr, "Cannot create the folder \"%s\".\n", Options.OutputDir.c_str());
    return 4;
  }
  return TBatchRun(Options, CollectBatchJobs(Options.Inputs, Options.OutputDir, FormatSuffix(Options.Format))).Run();
}

int ProcessorCount() {
  cpu_set_t Set;
  CPU_ZERO(&Set);
  if (::sched_getaffinity(0, sizeof Set, &Set) == 0) return std::max(1, CPU_COUNT(&Set));
  return static_cast<int>(std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN)));
}

unsigned long long DefaultWorkerMemory(int Jobs) {
  const unsigned long long Share = PhysicalMemory() / static_cast<unsigned long long>(std::max(Jobs, 1)) >> 20;
  return Share == 0 ? 4096 : std::min<unsigned long long>(Share, 4096);
}

std::string EscapeLine(const std::string& Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (char C : Text) {
    if (C == '\\') Out += "\\\\";
    else if (C == '\n') Out += "\\n";
    else if (C == '\r') Out += "\\r";
    else Out += C;
  }
  return Out;
}

std::string UnescapeLine(const std::string& Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] != '\\' || I + 1 == Text.size()) {
      Out += Text[I];
      continue;
    }
    const char Next = Text[++I];
    Out += Next == 'n' ? '\n' : Next == 'r' ? '\r' : Next;
  }
  return Out;
}

bool MakeOutputFolders(const std::string& Root, const std::string& Output, std::string& Error) {
  // The folders between Root and the file's name.
  std::string Relative = Output.substr(0, Output.rfind('/') == std::string::npos ? 0 : Output.rfind('/'));
  if (Relative.compare(0, Root.size(), Root) == 0) Relative.erase(0, Root.size());
  int Fd = ::open(Root.empty() ? "." : Root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Fd < 0) {
    Error = "Cannot open the folder \"" + Root + "\". " + std::strerror(errno);
    return false;
  }
  std::string Done = Root;
  for (size_t At = 0; At < Relative.size();) {
    size_t End = Relative.find('/', At);
    if (End == std::string::npos) End = Relative.size();
    const std::string Name = Relative.substr(At, End - At);
    At = End + 1;
    if (Name.empty() || Name == ".") continue;
    if (Name == "..") {
      Error = "The output \"" + Output + "\" lies outside the output folder.";
      ::close(Fd);
      return false;
    }
    Done += "/" + Name;
    if (::mkdirat(Fd, Name.c_str(), 0777) != 0 && errno != EEXIST) {
      Error = "Cannot create the folder \"" + Done + "\". " + std::strerror(errno);
      ::close(Fd);
      return false;
    }
    const int Next = ::openat(Fd, Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int Why = errno;
    ::close(Fd);
    if (Next < 0) {
      Error = Why == ELOOP || Why == ENOTDIR
                  ? "The output folder \"" + Done + "\" is a symbolic link or not a folder; nothing is written through it."
                  : "Cannot open the folder \"" + Done + "\". " + std::strerror(Why);
      return false;
    }
    Fd = Next;
  }
  ::close(Fd);
  return true;
}
