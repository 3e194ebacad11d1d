// Results with a cause: what the engine and the run report when a file does
// not load or a run does not finish, by kind, with a message for people.
#pragma once

#include <cstdint>
#include <string>

// The kinds of failure, named as the batch form's report names them
// (StatusKindName).
enum class TPDFStatusKind : uint8_t {
  Ok,
  // The file cannot be read: missing, a folder, no permission, a read error.
  Unreadable,
  // No PDF header.
  NotPDF,
  // Damaged beyond what the load repairs (or repair is off).
  DamagedRefused,
  // A password is needed, or the one given is wrong.
  Password,
  // Encrypted by a handler or in a form the engine does not read.
  UnknownEncryption,
  // Encrypted with AES (or AES-256's SHA-2), and libcrypto cannot be loaded.
  AESUnavailable,
  // The work took longer than allowed.
  Timeout,
  // Memory ran out (or the file is too large to hold).
  Memory,
  // The output could not be written.
  WriteError,
  // A page's content was cut at the cap on decoded size (its text past the
  // cap is lost).
  Truncated,
  // Not a failure: a page was stopped by its work budget (its text so far
  // kept).
  Budget,
  // Anything else: a fault of the program.
  Internal,
};

// "ok", "unreadable", "not_pdf", "damaged_refused", "password",
// "unknown_encryption", "aes_unavailable", "timeout", "memory",
// "write_error", "truncated", "budget", "internal".
const char* StatusKindName(TPDFStatusKind Kind);

// A result: Ok, or a kind of failure with its message. Converts to true only
// when Ok, so that "if (!Engine.LoadFromFile(Name))" reads as before.
struct TPDFStatus {
  TPDFStatusKind Kind = TPDFStatusKind::Ok;
  std::string Message;

  static TPDFStatus Failure(TPDFStatusKind Kind, std::string Message) { return {Kind, std::move(Message)}; }
  bool Ok() const { return Kind == TPDFStatusKind::Ok; }
  explicit operator bool() const { return Ok(); }
};
