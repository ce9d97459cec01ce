#pragma once
// The settings file and the backup script hold a folder name as bytes; an
// edit box holds a QString. Bytes that are not valid in the locale's encoding
// (a folder named in Latin-1 on a UTF-8 system) do not survive the trip into
// a QString and back, so an edit box keeps the bytes it was given for as long
// as the user leaves its text as they made it.

#include <string>
#include <string_view>

class QLineEdit;

namespace tarvik::gui {

// Shows `bytes` in `edit` and keeps them.
void setEditBytes(QLineEdit* edit, std::string_view bytes);

// The bytes `edit` was given, while its text is still the one they made;
// otherwise its text in the locale's 8-bit encoding.
std::string editBytes(const QLineEdit* edit);

} // namespace tarvik::gui
