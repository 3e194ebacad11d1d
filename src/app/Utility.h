// Small helpers of the application: the row splitter and file name parts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits Line at Separator. Escape takes the next byte literally (at the very
// end it gives a zero byte); a byte of Quotes toggles quoting and is dropped;
// inside quotes every byte is kept. There is always at least one field.
std::vector<std::string> SplitString(std::string_view Line, std::string_view Separator, char Escape,
                                     std::string_view Quotes);

// The last path component of Path (no folder).
std::string ExtractFileName(const std::string& Path);

// Path with the extension of its last component replaced by Ext, or Ext
// appended when it has none.
std::string ChangeFileExt(const std::string& Path, const std::string& Ext);
