// The batch form of the console program: many PDF files into one folder,
// extracted by worker processes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Names.h"

class TCodePage;
class TSettings;
enum class TPDFTextMode : int;

// One input file and the text file it is written to. Error is set for an
// input that cannot be extracted at all (missing, or its output is taken by
// another input); Missing tells which of the two.
struct TBatchJob {
  std::string Input, Output, Error;
  bool Missing = false;
};

// The files of Inputs in the order given: a file stands for itself (DIR/X.txt
// for X.pdf, or the Suffix given); a folder for the *.pdf files below it (any
// letter case, in name order), written to the same place below DIR. Symbolic
// links are followed; every folder is walked once, so a loop of links ends. A
// second input whose output is that of an earlier one gets an Error.
std::vector<TBatchJob> CollectBatchJobs(const std::vector<std::string>& Inputs, const std::string& OutputDir,
                                        const std::string& Suffix = ".txt");

struct TBatchOptions {
  std::vector<std::string> Inputs;
  std::string OutputDir;
  // Files extracted at once, each by its own worker process (at least 1).
  int Jobs = 1;
  bool SkipExisting = false;
  bool Quiet = false;
  // Tried on every file that needs a password; no one is ever prompted.
  std::optional<std::string> Password;
  std::optional<TPDFTextMode> PageText;
  // The form of the outputs, as TMainLogic takes it.
  TOutputFormat Format = TOutputFormat::Text;
  bool PageBreaks = true;
  bool PageMarks = false;
  // Seconds one file may take (the parent kills a worker past them, a little
  // later than the worker stops itself); 0: no end.
  int32_t Timeout = 300;
  // The address space of each worker, in megabytes (0: no cap).
  unsigned long long MaxMemory = 0;
  bool AllowTruncation = false;
  // The JSON Lines report, one line per input (empty: none).
  std::string Report;
  // The stored settings, as read once from the store.
  std::optional<std::map<std::string, std::string>> StoredSettings;
  // Changes the settings of one file's run, after its page range was reset
  // to the file's pages (as the single-file form does).
  std::function<void(TSettings&)> ApplyOptions;
  std::shared_ptr<const TCodePage> CodePage;
};

// Extracts every file and gives the exit status: 0 all extracted or skipped,
// 1 stopped (Ctrl-C, or TERM), 3 some not opened, 4 some failed. One log line
// per file and a progress line on a terminal go to standard error unless
// Quiet; the summary line always does. Workers end with the parent, and no
// temporary file outlives the run.
int RunBatch(const TBatchOptions& Options);

// The number of processors this process may run on.
int ProcessorCount();

// The default memory cap of each of Jobs workers, in megabytes: the
// machine's memory shared among them, at most 4096.
unsigned long long DefaultWorkerMemory(int Jobs);

// Name and Line travel between the processes with "\\", "\n" and "\r"
// escaped, so that any name comes back as it went.
std::string EscapeLine(const std::string& Text);
std::string UnescapeLine(const std::string& Text);

// Opens (and makes) the folders of Output below Root without following a
// symbolic link: true when they are real folders; else false with Error.
bool MakeOutputFolders(const std::string& Root, const std::string& Output, std::string& Error);
