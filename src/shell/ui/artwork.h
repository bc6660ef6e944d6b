#pragma once
// The program's own pictures, drawn at run time so that they stay sharp at any
// size: the toolbar's 48 by 48 pictures and the about box's program picture.

#include <QIcon>
#include <QPixmap>

namespace ostrel {

enum class ToolPicture {
    Open,
    Save,
    Fill,
    Bank,
    Auto,
    Erase,
    Write,
    Read,
    Verify,
    Bulk,
    Device,
    About
};

QIcon toolIcon(ToolPicture picture);
QPixmap toolPixmap(ToolPicture picture, int size = 48);
// The programmer with a chip in its socket, for the about box.
QPixmap programPicture(int width, int height);

}  // namespace ostrel
