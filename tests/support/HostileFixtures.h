// Hostile files as an attacker makes them, written by the fixture writer:
// small files whose pages cost without end unless the engine bounds them.
#pragma once

#include <cstddef>
#include <string>

// A page that draws form 1, which draws form 2 FanOut times, and so on Depth
// levels deep; each form shows "levelN" first (the last shows "leaf").
std::string FormChainPdf(int Depth, int FanOut);

// A page that shows "word" Count times at one spot, each with its own Tm.
std::string CoincidentWordsPdf(int Count);

// A page whose Contents lists one Flate stream Times times: Spaces blank
// bytes, then "BT ... (end) Tj ET".
std::string RepeatedContentsPdf(int Times, size_t Spaces);

// A page that shows "start", then Spaces blank bytes, then "end", in one
// Flate stream.
std::string TextPastSpacesPdf(size_t Spaces);
