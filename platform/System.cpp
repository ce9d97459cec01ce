#include "platform/System.h"

namespace tarvik::platform {

System& current()
{
    System* replacement = ScopedSystem::installed();
    return replacement ? *replacement : native();
}

} // namespace tarvik::platform
