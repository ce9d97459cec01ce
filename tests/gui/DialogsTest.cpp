// The real error report, folder browser and text prompt, built as the program builds them
// and answered the way a user would, without a nested event loop.

#include "gui/Dialogs.h"

#include "OffscreenScreens.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <algorithm>

using namespace tarvik::gui;

class DialogsTest : public QObject
{
    Q_OBJECT

  private slots:
    void centredPositionFormula_data();
    void centredPositionFormula();
    void folderDialogOpensAtRootWithNothingSelected();
    void folderDialogGivesBackChoice_data();
    void folderDialogGivesBackChoice();
    void textPromptAnswers_data();
    void textPromptAnswers();
    void textPromptLayout();
    void errorBoxShowsTheMessageAsItIs();
    void errorBoxFitsCaptionAndScreen_data();
    void errorBoxFitsCaptionAndScreen();
    void errorBoxUndoesOnlyASettlingMove_data();
    void errorBoxUndoesOnlyASettlingMove();
};

void DialogsTest::centredPositionFormula_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("even differences")
        << QRect(0, 0, 800, 600) << QSize(400, 300) << QPoint(200, 150);
    QTest::newRow("odd differences truncate")
        << QRect(0, 0, 801, 601) << QSize(400, 300) << QPoint(200, 150);
    QTest::newRow("second monitor to the right")
        << QRect(1024, 0, 1280, 1024) << QSize(321, 401) << QPoint(1024 + 479, 311);
    QTest::newRow("monitor left of and above the first")
        << QRect(-1280, -200, 1280, 1024) << QSize(300, 200) << QPoint(-1280 + 490, -200 + 412);
    QTest::newRow("window wider than the screen truncates toward zero")
        << QRect(0, 0, 800, 600) << QSize(803, 605) << QPoint(-1, -2);
}

void DialogsTest::centredPositionFormula()
{
    QFETCH(QRect, screen);
    QFETCH(QSize, outer);
    QFETCH(QPoint, expected);
    QCOMPARE(tarvik::gui::centredPosition(screen, outer), expected);
}

void DialogsTest::folderDialogOpensAtRootWithNothingSelected()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("Backups")));
    QMainWindow owner;
    const auto dialog = makeFolderDialog(&owner, QStringLiteral("Select Directory"), root.path());
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));

    QCOMPARE(dialog->windowTitle(), QStringLiteral("Select Directory"));
    QCOMPARE(QDir(dialog->directory()).canonicalPath(), QDir(root.path()).canonicalPath());
    QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
    QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
    QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
    const auto* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(nameEdit);
    QCOMPARE(nameEdit->text(), QString());
    for (const auto* view : dialog->findChildren<QAbstractItemView*>())
        QVERIFY2(!view->selectionModel() || !view->selectionModel()->hasSelection(),
                 qPrintable(view->objectName()));
    const auto* newFolder = dialog->findChild<QToolButton*>(QStringLiteral("newFolderButton"));
    QVERIFY(!newFolder || !newFolder->isVisible());
}

void DialogsTest::folderDialogGivesBackChoice_data()
{
    QTest::addColumn<QString>("pick");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("chosen sub-folder") << QStringLiteral("Backups") << true << true;
    QTest::newRow("folder name with blanks") << QStringLiteral(" My Files ") << true << true;
    QTest::newRow("cancelled after choosing") << QStringLiteral("Backups") << false << false;
}

void DialogsTest::folderDialogGivesBackChoice()
{
    QFETCH(QString, pick);
    QFETCH(bool, accept);
    QFETCH(bool, confirmed);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(pick));
    const auto dialog = makeFolderDialog(nullptr, QStringLiteral("Select Directory"), root.path());
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    // Click the folder in the list once the dialog has read the root.
    auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
    QVERIFY(list);
    QModelIndex item;
    QTRY_VERIFY((item = list->model()->index(0, 0, list->rootIndex())).isValid());
    QCOMPARE(item.data().toString(), pick);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    QVERIFY(buttons);
    for (auto* button : buttons->buttons()) {
        const auto role = buttons->buttonRole(button);
        if (role == (accept ? QDialogButtonBox::AcceptRole : QDialogButtonBox::RejectRole))
            QTest::mouseClick(button, Qt::LeftButton);
    }
    QVERIFY(!dialog->isVisible());

    const FolderChoice choice = folderChoiceOf(*dialog, dialog->result());
    QCOMPARE(choice.confirmed, confirmed);
    QCOMPARE(choice.path, confirmed ? QDir(root.path()).filePath(pick) : QString());
}

void DialogsTest::textPromptAnswers_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("key"); // Qt::Key_Return, Key_Escape, or 0 for closing the window
    QTest::addColumn<QString>("expected");
    QTest::newRow("typing replaces the selected initial text")
        << "*.txt"
        << "*.doc" << int(Qt::Key_Return) << "*.doc";
    QTest::newRow("Escape gives the initial text") << "*.txt"
                                                   << "*.doc" << int(Qt::Key_Escape) << "*.txt";
    QTest::newRow("closing gives the initial text") << "*.txt"
                                                    << "*.doc" << 0 << "*.txt";
}

void DialogsTest::textPromptAnswers()
{
    QFETCH(QString, initial);
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(QString, expected);
    const auto dialog = makeTextPrompt(nullptr, QStringLiteral("Add File Type"),
                                       QStringLiteral("File Type"), initial);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("PromptEdit"));
    QVERIFY(edit);
    QTRY_VERIFY(edit->hasFocus());
    QTest::keyClicks(edit, typed);
    if (key)
        QTest::keyClick(edit, Qt::Key(key));
    else
        dialog->close();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(promptTextOf(*dialog, dialog->result(), initial), expected);
}

void DialogsTest::textPromptLayout()
{
    QMainWindow owner;
    const auto dialog = makeTextPrompt(&owner, QStringLiteral("Add File Type"),
                                       QStringLiteral("File Type"), QStringLiteral("*.pas"));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Add File Type"));
    QVERIFY(dialog->isModal());
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("PromptEdit"));
    QCOMPARE(edit->text(), QStringLiteral("*.pas"));
    QCOMPARE(edit->selectedText(), QStringLiteral("*.pas"));
    QCOMPARE(edit->maxLength(), 255);
    auto* label = dialog->findChild<QLabel*>(QStringLiteral("PromptLabel"));
    QCOMPARE(label->text(), QStringLiteral("File Type"));
    QVERIFY(label->geometry().bottom() < edit->geometry().top());
    auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("OkButton"));
    auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("CancelButton"));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    QVERIFY(ok->isDefault());
    const QRect area = screenAreaOf(&owner);
    QCOMPARE(dialog->frameGeometry().topLeft(),
             centredPosition(area, dialog->frameGeometry().size()));
}

void DialogsTest::errorBoxShowsTheMessageAsItIs()
{
    // A file type the user typed, quoted in the message, is shown as typed.
    const QString message =
        QStringLiteral("The file type \"<b>x</b>&amp;\" contains a double quote and cannot be "
                       "written into the backup script.");
    QMainWindow owner;
    const auto box = makeErrorBox(&owner, QStringLiteral("Tarvikbackup"), message);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    QCOMPARE(box->windowTitle(), QStringLiteral("Tarvikbackup"));
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box->textFormat(), Qt::PlainText);
    const auto labels = box->findChildren<QLabel*>();
    const bool shownAsTyped = std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) {
        return label->text() == message && label->textFormat() == Qt::PlainText;
    });
    QVERIFY(shownAsTyped);
}

// The box is never narrower than its caption with the title bar's buttons,
// nor wider than the screen, where a long message wraps instead.
void DialogsTest::errorBoxFitsCaptionAndScreen_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("screen");
    const QString folder = QStringLiteral("/media/backup/") + QString(300, QLatin1Char('d'));
    const QString words = QStringLiteral("Cannot write the backup script. ").repeated(40);
    QTest::newRow("short message") << "Tarvikbackup"
                                   << "Invalid filename." << 0;
    QTest::newRow("long caption") << QString("Tarvikbackup").repeated(4) << "Disk full." << 1;
    QTest::newRow("long folder name") << "Tarvikbackup" << folder << 0;
    QTest::newRow("many words, small screen") << "Tarvikbackup" << words << 0;
    QTest::newRow("many words, large screen") << "Tarvikbackup" << words << 1;
}

void DialogsTest::errorBoxFitsCaptionAndScreen()
{
    QFETCH(QString, caption);
    QFETCH(QString, message);
    QFETCH(int, screen);
    const auto screens = QGuiApplication::screens();
    if (screen >= screens.size())
        QSKIP("needs the second offscreen screen");
    QMainWindow owner;
    owner.setGeometry(QRect(screens[screen]->geometry().center(), QSize(200, 100)));
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    const auto box = makeErrorBox(&owner, caption, message);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    // QMessageBox sizes itself again at each layout request, as an X11
    // display brings some once the box is up.
    QEvent relayout(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(box.get(), &relayout);
    QFont bold = QApplication::font("QMdiSubWindowTitleBar");
    bold.setBold(true);
    const QFontMetrics title(bold);
    const QRect area = box->screen()->availableGeometry();
    QVERIFY2(box->frameGeometry().width() <= area.width(),
             qPrintable(QString::number(box->frameGeometry().width())));
    QVERIFY(box->width() >=
            std::min(title.horizontalAdvance(caption) + 4 * title.height(), area.width() - 16));
    // The whole text still fits the box.
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    QVERIFY(label);
    QCOMPARE(label->text(), message);
    QVERIFY(label->geometry().right() < box->width());
    QVERIFY(label->height() >= label->heightForWidth(label->width()));
}

// A window manager settling the box may put it in the screen's corner: a move
// right after the box was placed goes back over the owner; a later one is the
// user's and stays.
void DialogsTest::errorBoxUndoesOnlyASettlingMove_data()
{
    QTest::addColumn<int>("afterMs");
    QTest::addColumn<bool>("undone");
    QTest::newRow("at once") << 0 << true;
    QTest::newRow("seconds later") << 1500 << false;
}

void DialogsTest::errorBoxUndoesOnlyASettlingMove()
{
    QFETCH(int, afterMs);
    QFETCH(bool, undone);
    QMainWindow owner;
    owner.setGeometry(300, 200, 500, 560);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    const auto box =
        makeErrorBox(&owner, QStringLiteral("Tarvikbackup"), QStringLiteral("Invalid filename."));
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    const QPoint placed = box->pos();
    QCOMPARE(box->geometry().center(), owner.geometry().center());
    QTest::qWait(afterMs);
    box->move(0, 0);
    QCoreApplication::processEvents();
    QCOMPARE(box->pos(), undone ? placed : QPoint(0, 0));
}

TARVIK_OFFSCREEN_SCREENS_MAIN(DialogsTest)
#include "DialogsTest.moc"
