#pragma once
// Where a form goes when its stored placement is restored.

#include <cstdint>

class QWidget;

namespace tarvik::gui {

// A form's frame position and outer size, -1 where not stored.
struct OuterPlacement
{
    std::int32_t left;
    std::int32_t top;
    std::int32_t width;
    std::int32_t height;
};

// Moves the form's frame to the stored position and gives it the stored
// outer size (the size only when the form has a border), both first brought
// within the available area of the screen the placement lands on (the
// primary screen when it lands on none). A shown form the
// window manager has not framed yet gets the placement again once it has,
// unless it is to be \a maximized.
void placeForm(QWidget* form, const OuterPlacement& placement, bool maximized);

} // namespace tarvik::gui
