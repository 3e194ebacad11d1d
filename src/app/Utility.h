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

// Writes Value with 2 decimals at First, exactly as std::to_chars(First, Last,
// Value, std::chars_format::fixed, 2) does (the nearest value, ties to even;
// a sign for every negative value), in integer arithmetic where it can.
// First must have room for 400 bytes (the longest such text is 312 bytes);
// returns the end of the text.
char* WriteFixed2(char* First, double Value);

// The last path component of Path (no folder).
std::string ExtractFileName(const std::string& Path);

// Path with the extension of its last component replaced by Ext, or Ext
// appended when it has none.
std::string ChangeFileExt(const std::string& Path, const std::string& Ext);

// Whether A and B name one existing file (the same device and inode, so
// also through links); false when either cannot be found.
bool SameFile(const std::string& A, const std::string& B);
