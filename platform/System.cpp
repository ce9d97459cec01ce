#include "platform/System.h"

namespace tarvik::platform {
namespace {
System* g_current = nullptr;
}

System& current()
{
    return g_current ? *g_current : native();
}

ScopedSystem::ScopedSystem(System& replacement) : m_previous(g_current)
{
    g_current = &replacement;
}

ScopedSystem::~ScopedSystem()
{
    g_current = m_previous;
}

} // namespace tarvik::platform
