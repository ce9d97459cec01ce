#include "gui/ErrorReport.h"

#include "gui/Dialogs.h"
#include "gui/Text.h"
#include "platform/System.h"

#include <cstdio>

namespace tarvik::gui {
namespace {

bool g_unattended = false;
int g_unattendedReports = 0;

} // namespace

QString ApplicationTitle(std::string_view modulePath, char separator)
{
    std::string_view name = modulePath;
    if (const size_t slash = name.find_last_of(separator); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    if (const size_t dot = name.find('.'); dot != std::string_view::npos)
        name = name.substr(0, dot);
    const QString title = toQt(std::string(name));
    return title.left(1) + title.mid(1).toLower();
}

std::string ErrorReportText(std::string_view message)
{
    std::string text(message);
    // Compared as the system compares 8-bit characters: unsigned.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

void showErrorReport(QWidget* owner, std::string_view message)
{
    if (g_unattended) {
        const std::string title = fromQt(ApplicationTitle(platform::current().modulePath()));
        std::fprintf(stderr, "%s: %s\n", title.c_str(), ErrorReportText(message).c_str());
        std::fflush(stderr);
        ++g_unattendedReports;
        return;
    }
    dialogs().showError(owner, ApplicationTitle(platform::current().modulePath()),
                        toQt(ErrorReportText(message)));
}

void reportErrorsUnattended(bool unattended)
{
    g_unattended = unattended;
}

int unattendedErrorReports()
{
    return g_unattendedReports;
}

} // namespace tarvik::gui
