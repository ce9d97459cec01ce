#pragma once
// What the main window's tests install around the real window: a System with
// a fixed clock, a module path in the test's own folder (so the settings file
// lies there too) and a shell that only records what it was asked to open;
// and dialogs that record every error report instead of showing it.

#include "BackUpMain.h"
#include "Dialogs.h"
#include "System.h"
#include "TestFiles.h"

#include <QString>
#include <QWidget>
#include <QWindow>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace windowtest {

using tarvik::platform::CivilDate;
using tarvik::platform::LocalDateTime;

struct ShellCall
{
    std::string verb;
    std::string file;
    int showCommand = 0;
};

class TestSystem final : public tarvik::platform::System
{
  public:
    explicit TestSystem(std::string modulePath) : m_modulePath(std::move(modulePath)) {}

    LocalDateTime now() override { return clock; }
    // Month/day/year, as the system writes short dates for the United States.
    std::string shortDateText(const CivilDate& date) override
    {
        return std::to_string(date.month) + '/' + std::to_string(date.day) + '/' +
               std::to_string(date.year);
    }
    std::string modulePath() override { return m_modulePath; }
    void shellExecute(tarvik::platform::WindowHandle, const char* verb, const char* file,
                      const char*, const char*, int showCommand) override
    {
        shellCalls.push_back({verb ? verb : "", file ? file : "", showCommand});
    }
    int startupShowCommand() override { return showCommand; }

    LocalDateTime clock{{2026, 12, 6}, 9, 30, 15, 250};
    int showCommand = tarvik::platform::ShowDefault;
    std::vector<ShellCall> shellCalls;

  private:
    std::string m_modulePath;
};

struct ErrorReport
{
    QString caption;
    QString text;
    QWidget* owner = nullptr;
    bool ownerOnScreen = false; // visible and exposed when the report came
};

class RecordingDialogs final : public tarvik::gui::Dialogs
{
  public:
    void showError(QWidget* owner, const QString& caption, const QString& text) override
    {
        const bool onScreen = owner && owner->isVisible() && owner->windowHandle() &&
                              owner->windowHandle()->isExposed();
        errors.push_back({caption, text, owner, onScreen});
    }
    tarvik::gui::FolderChoice chooseFolder(QWidget*, const QString&, const QString&) override
    {
        return {};
    }
    QString promptForText(QWidget*, const QString&, const QString&, const QString& initial) override
    {
        return initial;
    }

    std::vector<ErrorReport> errors;
};

// A test's folder with the program's module path inside it, the System and
// dialogs above installed for the test's lifetime.
class WindowWorld
{
  public:
    WindowWorld()
        : system(folder / "TarvikBackUp"), m_scopedSystem(system), m_scopedDialogs(dialogs)
    {}

    std::string settingsFile() const { return folder / "TarvikBackUp.INI"; }

    testfiles::TempDir folder;
    TestSystem system;
    RecordingDialogs dialogs;

  private:
    tarvik::platform::ScopedSystem m_scopedSystem;
    tarvik::gui::ScopedDialogs m_scopedDialogs;
};

// A world of its own and the main window shown in it, for one test function.
struct ShownWindow
{
    ShownWindow() : form(std::make_unique<tarvik::gui::TBackUpForm>()) { form->show(); }
    ~ShownWindow() { form.reset(); }

    WindowWorld world;
    std::unique_ptr<tarvik::gui::TBackUpForm> form;
};

} // namespace windowtest
