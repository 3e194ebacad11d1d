// The program's own pictures, drawn in code: the toolbar images (32 x 32) and
// the logo (the About box and the window icon).
#pragma once

#include <QIcon>
#include <QPixmap>

enum class TImage { OpenFile, Option, Extract, Stop, Help, About, MoreTools };

// A 32 x 32 toolbar image.
QIcon ToolbarIcon(TImage Image);
// The logo, Size x Size pixels: a sheet of text with a green arrow.
QPixmap LogoPixmap(int Size);
