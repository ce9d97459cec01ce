#pragma once
// A System whose executable lies where a test says, so that the settings file
// lies in the test's own folder. Everything else is fixed.

#include "System.h"

#include <string>

namespace tarvik::test {

class ModulePathSystem final : public platform::System
{
  public:
    explicit ModulePathSystem(std::string modulePath) : m_modulePath(std::move(modulePath)) {}

    void setModulePath(std::string path) { m_modulePath = std::move(path); }

    platform::LocalDateTime now() override { return {{2026, 12, 7}, 12, 0, 0, 0}; }
    std::string shortDateText(const platform::CivilDate&) override { return "07.12.2026"; }
    std::string modulePath() override { return m_modulePath; }
    void shellExecute(platform::WindowHandle, const char*, const char*, const char*, const char*,
                      int) override
    {}
    int startupShowCommand() override { return platform::ShowDefault; }

  private:
    std::string m_modulePath;
};

} // namespace tarvik::test
