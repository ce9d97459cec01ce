#pragma once
// The real main window for GUI tests, shown offscreen, with a test System
// (fixed clock, shell calls recorded, settings file in a temporary folder)
// and scripted answers for the seam's dialogs. The folder browser's answers
// are given as values; the text prompt is the real one, typed into.

#include "BackUpMain.h"
#include "Dialogs.h"
#include "TestSystem.h"

#include <QApplication>
#include <QDialog>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>

class FormSystem final : public testfiles::TestSystem
{
  public:
    std::string module;
    std::string modulePath() override { return module; }
};

class ScriptedDialogs final : public tarvik::gui::Dialogs
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
    std::vector<QString> errors;
    // Acts on the program's own modal dialog, shown (modal, without a loop
    // of its own) while it runs; the dialog is closed afterwards if it is
    // still open.
    std::function<void(QDialog&)> onModal;

    void showError(QWidget*, const QString&, const QString& text) override
    {
        errors.push_back(text);
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

// A main window that has been shown and has loaded its (empty) settings.
struct ShownForm
{
    ShownForm()
    {
        system.module = folder.filePath(QStringLiteral("TarvikBackUp")).toStdString();
        form = std::make_unique<tarvik::gui::TBackUpForm>();
        form->show();
        ready = QTest::qWaitForWindowExposed(form.get());
    }
    ~ShownForm() { form.reset(); }
    ShownForm(const ShownForm&) = delete;
    ShownForm& operator=(const ShownForm&) = delete;

    QAction* action(const char* name) const
    {
        return form->findChild<QAction*>(QString::fromLatin1(name));
    }

    QTemporaryDir folder;
    FormSystem system;
    tarvik::platform::ScopedSystem useSystem{system};
    ScriptedDialogs dialogs;
    tarvik::gui::ScopedDialogs useDialogs{dialogs};
    std::unique_ptr<tarvik::gui::TBackUpForm> form;
    bool ready = false;
};
