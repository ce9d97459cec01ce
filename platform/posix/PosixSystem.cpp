#include "platform/posix/PosixSystem.h"

#include "platform/System.h"
#include "platform/posix/PosixShell.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <langinfo.h>
#include <locale.h>
#include <string_view>
#include <unistd.h>

namespace tarvik::platform {
namespace {

// The user's short date format is the locale's D_FMT (LC_TIME, from the
// environment); a locale that cannot be loaded falls back to "C".
std::string formatShortDate(const std::tm& when)
{
    locale_t locale = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (!locale)
        locale = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    std::string text;
    if (locale) {
        const char* format = ::nl_langinfo_l(D_FMT, locale);
        char buffer[128];
        const size_t length = ::strftime_l(buffer, sizeof buffer, format, &when, locale);
        text.assign(buffer, length);
        ::freelocale(locale);
    }
    return text;
}

class PosixSystem final : public System
{
  public:
    LocalDateTime now() override
    {
        timespec stamp{};
        ::clock_gettime(CLOCK_REALTIME, &stamp);
        std::tm local{};
        ::localtime_r(&stamp.tv_sec, &local);
        return {{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday},
                local.tm_hour,
                local.tm_min,
                local.tm_sec,
                static_cast<int>(stamp.tv_nsec / 1'000'000)};
    }

    std::string shortDateText(const CivilDate& date) override
    {
        std::tm when{};
        when.tm_year = date.year - 1900;
        when.tm_mon = date.month - 1;
        when.tm_mday = date.day;
        when.tm_hour = 12;
        when.tm_isdst = -1;
        ::timegm(&when); // fills in the weekday for formats that show it
        return formatShortDate(when);
    }

    std::string modulePath() override
    {
        char buffer[PATH_MAX];
        const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
        return length > 0 ? modulePathFromLink(std::string(buffer, static_cast<size_t>(length)))
                          : std::string();
    }

    void shellExecute(WindowHandle owner, const char* verb, const char* file,
                      const char* parameters, const char* directory, int showCommand) override
    {
        posixShellExecute(owner, verb, file, parameters, directory, showCommand);
    }

    // POSIX has no start-up show command; the window shows normally.
    int startupShowCommand() override { return ShowDefault; }
};

} // namespace

std::string modulePathFromLink(std::string link)
{
    constexpr std::string_view deleted = " (deleted)";
    if (link.size() > deleted.size() && link.ends_with(deleted))
        link.resize(link.size() - deleted.size());
    return link;
}

System& native()
{
    static PosixSystem system;
    return system;
}

} // namespace tarvik::platform
