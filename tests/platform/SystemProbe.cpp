// Started by Win32SystemTest under names and with start-up information of its
// choosing: prints what the native System reports from inside that process.
#include "core/ProfileValues.h"
#include "platform/System.h"

#include <cstdio>

int main()
{
    auto& system = tarvik::platform::native();
    const std::string module = system.modulePath();
    std::printf("%s\n%s\n%d\n", module.c_str(), tarvik::settingsFilePath(module).c_str(),
                system.startupShowCommand());
    return 0;
}
