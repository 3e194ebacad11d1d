// Small helpers of the application.
#include "Utility.h"

std::vector<std::string> SplitString(std::string_view Line, std::string_view Separator, char Escape,
                                     std::string_view Quotes) {
  // Bytes that may end a run of plain text; runs between them are copied whole.
  bool Special[256] = {};
  Special[static_cast<unsigned char>(Escape)] = true;
  for (char Q : Quotes) Special[static_cast<unsigned char>(Q)] = true;
  if (!Separator.empty()) Special[static_cast<unsigned char>(Separator[0])] = true;

  std::vector<std::string> Fields;
  std::string Current;
  bool InQuote = false;
  size_t I = 0;
  while (I < Line.size()) {
    size_t Run = I;
    while (Run < Line.size() && !Special[static_cast<unsigned char>(Line[Run])]) ++Run;
    Current.append(Line.substr(I, Run - I));
    if ((I = Run) == Line.size()) break;
    const char C = Line[I];
    if (C == Escape) {
      Current += I + 1 < Line.size() ? Line[I + 1] : '\0';
      I += 2;
    } else if (Quotes.find(C) != std::string_view::npos) {
      InQuote = !InQuote;
      ++I;
    } else if (!InQuote && Line.substr(I, Separator.size()) == Separator) {
      Fields.push_back(std::move(Current));
      Current.clear();
      I += Separator.size();
    } else {
      Current += C;
      ++I;
    }
  }
  Fields.push_back(std::move(Current));
  return Fields;
}

std::string ExtractFileName(const std::string& Path) {
  size_t Slash = Path.find_last_of('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

std::string ChangeFileExt(const std::string& Path, const std::string& Ext) {
  const size_t NameStart = Path.find_last_of('/') == std::string::npos ? 0 : Path.find_last_of('/') + 1;
  const size_t Dot = Path.find_last_of('.');
  if (Dot == std::string::npos || Dot < NameStart) return Path + Ext;
  return Path.substr(0, Dot) + Ext;
}
