#pragma once
// The test System with the executable where a test says, so that the settings
// file lies in the test's own folder.

#include "TestSystem.h"

#include <string>

namespace tarvik::test {

class ModulePathSystem final : public testfiles::TestSystem
{
  public:
    explicit ModulePathSystem(std::string modulePath) : m_modulePath(std::move(modulePath)) {}

    void setModulePath(std::string path) { m_modulePath = std::move(path); }
    std::string modulePath() override { return m_modulePath; }

  private:
    std::string m_modulePath;
};

} // namespace tarvik::test
