#pragma once
// The standard error report: what the user sees when a command fails. Every
// handler of the main window runs inside it; the failing handler stops, the
// report shows the error's message and the window goes on working.

#include "platform/FileSystem.h"

#include <QString>
#include <string>
#include <string_view>

class QWidget;

namespace tarvik::gui {

// The program's title as the report's caption: the executable's file name up
// to its first ".", every letter after the first in lower case
// ("C:\Tools\TarvikBackUp.exe" gives "Tarvikbackup").
QString ApplicationTitle(std::string_view modulePath, char separator = platform::kNativeSeparator);

// The report's text: the message, with a full stop added when its last
// character sorts after "." as an 8-bit character: "Disk full" and "Why?"
// get one, "Done." and "Stop!" keep their own ending.
std::string ErrorReportText(std::string_view message);

// Shows the report for `message` through the dialogs in force, captioned with
// the title of the running executable; while reports are unattended, writes
// it to standard error as "caption: text" instead.
void showErrorReport(QWidget* owner, std::string_view message);

// Unattended, as when the session closes the program, no one will answer a
// message box: reports go to standard error and are counted.
void reportErrorsUnattended(bool unattended);
// The reports written to standard error so far.
int unattendedErrorReports();

} // namespace tarvik::gui
