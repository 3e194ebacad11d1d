// The run report: one JSON object per input file, a line each (JSON Lines),
// written and flushed as each file ends, so that a run that is killed keeps
// the lines of the files it finished.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// One input's outcome. Status: "extracted", "skipped", "not_opened" or
// "failed"; Kind the cause's name (empty for none).
struct TReportEntry {
  std::string Path, Output, Status, Kind, Message;
  int32_t Pages = 0;
  uint64_t Chars = 0;
  double Seconds = 0;
  bool Repaired = false;
};

// The entry as one line of JSON with the fields path, output, status, kind
// (null for none), message, pages, chars, seconds and repaired. Bytes that
// are not UTF-8 (a file name may hold any) are written as the escapes
// \udc80..\udcff, which Python's "surrogateescape" reads back as the bytes.
std::string ReportLine(const TReportEntry& Entry);

// Appends lines to a report file. One thread at a time.
class TReportWriter {
 public:
  TReportWriter() = default;
  ~TReportWriter();
  TReportWriter(const TReportWriter&) = delete;
  TReportWriter& operator=(const TReportWriter&) = delete;
  // Opens Path for appending (created if missing); false with Error set when
  // it cannot.
  bool Open(const std::string& Path);
  bool IsOpen() const { return FFile != nullptr; }
  // Writes and flushes the entry's line; false when it could not be written.
  bool Write(const TReportEntry& Entry);
  const std::string& Error() const { return FError; }

 private:
  std::FILE* FFile = nullptr;
  std::string FError;
};
