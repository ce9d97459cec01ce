#pragma once
// What the main window's tests install around the real window, shown
// offscreen: the test System (its executable, and so the settings file, in
// the test's own folder), and dialogs that record every error report instead
// of showing it and give scripted answers. The folder browser's answers are
// given as values; the text prompt is the real one, typed into.

#include "TestFiles.h"
#include "TestSystem.h"
#include "gui/BackUpMain.h"
#include "gui/Dialogs.h"
#include "gui/ListBox.h"
#include "platform/System.h"

#include <QDialog>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace windowtest {

using testfiles::TestSystem;

struct ErrorReport
{
    QString caption;
    QString text;
    QWidget* owner = nullptr;
    bool ownerOnScreen = false; // visible and exposed when the report came
};

class TestDialogs final : public tarvik::gui::Dialogs
{
  public:
    struct FolderCall
    {
        QWidget* owner;
        QString prompt, root;
    };
    struct TextCall
    {
        QWidget* owner;
        QString caption, prompt, initial;
    };
    // What the user types into the prompt, and the key that ends it:
    // Qt::Key_Return, Qt::Key_Escape, or 0 for closing the box.
    struct TextAnswer
    {
        QString typed;
        int key;
    };

    std::deque<tarvik::gui::FolderChoice> folderAnswers; // none left: cancelled
    std::deque<TextAnswer> textAnswers;                  // none left: closed
    std::vector<FolderCall> folderCalls;
    std::vector<TextCall> textCalls;
    std::vector<ErrorReport> errors;
    // Acts on the program's own modal dialog, shown (modal, without a loop
    // of its own) while it runs; the dialog is closed afterwards if it is
    // still open.
    std::function<void(QDialog&)> onModal;

    std::vector<QString> errorTexts() const
    {
        std::vector<QString> texts;
        for (const ErrorReport& error : errors)
            texts.push_back(error.text);
        return texts;
    }

    void showError(QWidget* owner, const QString& caption, const QString& text) override
    {
        const bool onScreen = owner && owner->isVisible() && owner->windowHandle() &&
                              owner->windowHandle()->isExposed();
        errors.push_back({caption, text, owner, onScreen});
    }

    tarvik::gui::FolderChoice chooseFolder(QWidget* owner, const QString& prompt,
                                           const QString& root) override
    {
        folderCalls.push_back({owner, prompt, root});
        if (folderAnswers.empty())
            return {};
        const auto answer = folderAnswers.front();
        folderAnswers.pop_front();
        return answer;
    }

    QString promptForText(QWidget* owner, const QString& caption, const QString& prompt,
                          const QString& initial) override
    {
        textCalls.push_back({owner, caption, prompt, initial});
        const TextAnswer answer =
            textAnswers.empty() ? TextAnswer{} : std::move(textAnswers.front());
        if (!textAnswers.empty())
            textAnswers.pop_front();
        const auto box = tarvik::gui::makeTextPrompt(owner, caption, prompt, initial);
        box->show();
        auto* edit = box->findChild<QWidget*>(QStringLiteral("PromptEdit"));
        QTest::keyClicks(edit, answer.typed);
        if (answer.key)
            QTest::keyClick(edit, Qt::Key(answer.key));
        else
            box->close();
        return tarvik::gui::promptTextOf(*box, box->result(), initial);
    }

    int runModal(QDialog& dialog) override
    {
        dialog.show();
        if (QTest::qWaitForWindowExposed(&dialog) && onModal)
            onModal(dialog);
        if (dialog.isVisible())
            dialog.close();
        return dialog.result();
    }
};

// A test's folder with the program's executable inside it, the System and
// dialogs above installed for the test's lifetime.
class WindowWorld
{
  public:
    WindowWorld()
        : system(folder / "TarvikBackUp"), m_scopedSystem(system), m_scopedDialogs(dialogs)
    {
        system.clock = {{2026, 12, 6}, 9, 30, 15, 250};
        system.showCommand = tarvik::platform::ShowDefault;
    }
    WindowWorld(const WindowWorld&) = delete;
    WindowWorld& operator=(const WindowWorld&) = delete;

    std::string settingsFile() const { return folder / "TarvikBackUp.INI"; }
    // Makes the folder `name` in the test's folder; its path.
    std::string makeFolder(const std::string& name) const
    {
        const std::string path = folder / name;
        testfiles::makeDirectory(path);
        return path;
    }

    testfiles::TempDir folder;
    TestSystem system;
    TestDialogs dialogs;

  private:
    tarvik::platform::ScopedSystem m_scopedSystem;
    tarvik::gui::ScopedDialogs m_scopedDialogs;
};

// A world with the folder "backups" in it and a settings file, stored before
// any window starts, that names it: `settingsNaming` gives the file's text
// for the folder's path.
struct WorldWithBackups : WindowWorld
{
    explicit WorldWithBackups(const std::function<std::string(const std::string&)>& settingsNaming)
        : backups(makeFolder("backups"))
    {
        testfiles::writeFile(settingsFile(), settingsNaming(backups));
    }

    const std::string backups;
};

// A world of its own and the main window shown in it, having loaded its
// (empty) settings; `ready` once the window is on screen.
struct ShownWindow
{
    ShownWindow() : form(std::make_unique<tarvik::gui::TBackUpForm>())
    {
        form->show();
        ready = QTest::qWaitForWindowExposed(form.get());
    }
    ~ShownWindow() { form.reset(); }
    ShownWindow(const ShownWindow&) = delete;
    ShownWindow& operator=(const ShownWindow&) = delete;

    QAction* action(const char* name) const
    {
        return form->findChild<QAction*>(QString::fromLatin1(name));
    }

    WindowWorld world;
    TestSystem& system = world.system;
    TestDialogs& dialogs = world.dialogs;
    std::unique_ptr<tarvik::gui::TBackUpForm> form;
    bool ready = false;
};

// The base of a test class that wants a new main window for each test
// function: shown in init(), closed in cleanup(). QtTest runs these inherited
// slots around each test function of the derived class.
class WindowPerTest : public QObject
{
    Q_OBJECT

  public:
    enum Wait
    {
        Exposed,
        Active
    };

  protected:
    // Active: a test function starts only once the window has the keyboard.
    explicit WindowPerTest(Wait wait = Exposed) : m_wait(wait) {}

    // The window of the running test function, its dialogs and its actions.
    tarvik::gui::TBackUpForm* m_form = nullptr;
    TestDialogs& dialogs() const { return m_shown->dialogs; }
    QAction* actionNamed(const char* name) const { return m_shown->action(name); }

  private slots:
    void init()
    {
        m_shown = std::make_unique<ShownWindow>();
        m_form = m_shown->form.get();
        QVERIFY(m_wait == Active ? QTest::qWaitForWindowActive(m_form)
                                 : QTest::qWaitForWindowExposed(m_form));
    }
    void cleanup()
    {
        m_form = nullptr;
        m_shown.reset();
    }

  private:
    const Wait m_wait;
    std::unique_ptr<ShownWindow> m_shown;
};

} // namespace windowtest
