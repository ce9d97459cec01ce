#include "gui/BackUpSettings.h"

namespace tarvik::gui {

TBackUpSettings::TBackUpSettings() = default;

} // namespace tarvik::gui
