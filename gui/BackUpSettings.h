#pragma once
// The program's settings store. It adds nothing to TFrmSettings: the program
// names it so that its own store may grow without changing the general one.

#include "gui/FrmSettings.h"

namespace tarvik::gui {

class TBackUpSettings : public TFrmSettings
{
  public:
    TBackUpSettings();
};

} // namespace tarvik::gui
