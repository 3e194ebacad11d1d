// Results with a cause.
#include "uPDFStatus.h"

const char* StatusKindName(TPDFStatusKind Kind) {
  switch (Kind) {
    case TPDFStatusKind::Ok: return "ok";
    case TPDFStatusKind::Unreadable: return "unreadable";
    case TPDFStatusKind::NotPDF: return "not_pdf";
    case TPDFStatusKind::DamagedRefused: return "damaged_refused";
    case TPDFStatusKind::Password: return "password";
    case TPDFStatusKind::UnknownEncryption: return "unknown_encryption";
    case TPDFStatusKind::AESUnavailable: return "aes_unavailable";
    case TPDFStatusKind::Timeout: return "timeout";
    case TPDFStatusKind::Memory: return "memory";
    case TPDFStatusKind::WriteError: return "write_error";
    case TPDFStatusKind::Truncated: return "truncated";
    case TPDFStatusKind::Budget: return "budget";
    case TPDFStatusKind::Internal: return "internal";
  }
  return "internal";
}
