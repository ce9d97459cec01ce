#pragma once
// The window's pictures. The first six are the image list that the page tabs,
// the menus and the actions share, in its order; the others belong to a single
// button or to the program itself. Each picture ships at 16 x 16 and at twice
// that size, so it stays sharp on high-DPI screens.

#include <QIcon>

namespace tarvik::gui {

enum class Picture
{
    GreenPlus = 0,
    DoorWithArrow = 1,
    NotesPage = 2,
    ArrowUpLeft = 3,
    RedCross = 4,
    HammerAndWrench = 5,
    // Not in the image list:
    RunBackupButton,
    Application, // last: its value counts the pictures
};

QIcon picture(Picture which);

} // namespace tarvik::gui
