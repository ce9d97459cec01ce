// The About dialog as the user meets it: its layout, its logo, its link and
// its Close button.

#include "OffscreenScreens.h"
#include "ShownWindow.h"
#include "TestSystem.h"
#include "gui/Dialogs.h"
#include "gui/JPEGImage.h"
#include "gui/PictureLoader.h"
#include "gui/frmAboutUnit.h"

#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace tarvik::gui;
using windowtest::ShownWindow;

class AboutTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void layout_data();
    void layout();
    void dialogFrame();
    void logoIsDrawnAtItsSizeInTheTopLeft();
    void onlyCloseTakesTheFocus();
    void linkAsksTheShellAndStaysOpen();
    void otherClicksDoNothing_data();
    void otherClicksDoNothing();
    void closing_data();
    void closing();
    void centredOnTheOwnersScreen_data();
    void centredOnTheOwnersScreen();
    void aboutCommandBuildsAndReleasesAFreshDialog();
    void aboutCommandReleasesTheDialogWhenItFails();
};

namespace {

QWidget* child(QWidget& dialog, const char* name)
{
    return dialog.findChild<QWidget*>(QString::fromLatin1(name));
}

QImage decodedLogo()
{
    QFile file(QStringLiteral(":/about/logo.jpg"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    TJPEGImage logo;
    logo.loadFromBytes(file.readAll());
    return logo.image().convertToFormat(QImage::Format_RGB32);
}

} // namespace

void AboutTest::initTestCase()
{
    // The dialog finds its logo's picture class as the program registered it
    // at start-up.
    QVERIFY(createGraphicByClassName(QStringLiteral("TJPEGImage")));
}

void AboutTest::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry"); // width -1: as wide as its text
    QTest::addColumn<QString>("text");
    QTest::newRow("Image1") << "Image1" << QRect(19, 16, 190, 49) << QString();
    QTest::newRow("ProgramLabel") << "ProgramLabel" << QRect(19, 80, -1, 13) << "Program";
    QTest::newRow("VersionLabel") << "VersionLabel" << QRect(19, 99, -1, 13) << "VersionLabel";
    QTest::newRow("Label1") << "Label1" << QRect(19, 118, -1, 13) << "www.tarvik.example";
    QTest::newRow("BitBtn1") << "BitBtn1" << QRect(64, 224, 97, 29) << "Close";
}

void AboutTest::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    TfrmAbout dialog(nullptr);
    auto* widget = child(dialog, qPrintable(name));
    QVERIFY(widget);
    if (geometry.width() < 0)
        geometry.setWidth(widget->fontMetrics().horizontalAdvance(text));
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(widget->font().pixelSize(), 11);
    if (auto* label = qobject_cast<QLabel*>(widget); label && !text.isEmpty())
        QCOMPARE(label->text(), text);
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QCOMPARE(button->text(), text);
        QVERIFY(!button->icon().isNull());
        QCOMPARE(button->icon().pixmap(QSize(20, 16)).size(), QSize(20, 16));
    }
}

void AboutTest::dialogFrame()
{
    TfrmAbout dialog(nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About"));
    QCOMPARE(dialog.size(), QSize(233, 270));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMinMaxButtonsHint));
    QCOMPARE(dialog.palette().color(QPalette::Window), dialog.palette().color(QPalette::Button));

    auto* link = qobject_cast<QLabel*>(child(dialog, "Label1"));
    QVERIFY(link->font().underline());
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    for (const char* plain : {"ProgramLabel", "VersionLabel"}) {
        auto* label = child(dialog, plain);
        QVERIFY(!label->font().underline());
        QCOMPARE(label->palette().color(QPalette::WindowText),
                 dialog.palette().color(QPalette::WindowText));
    }
}

void AboutTest::logoIsDrawnAtItsSizeInTheTopLeft()
{
    const QImage logo = decodedLogo();
    QCOMPARE(logo.size(), QSize(184, 40));
    TfrmAbout dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QImage drawn =
        child(dialog, "Image1")->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(drawn.size(), QSize(190, 49));
    QCOMPARE(drawn.copy(0, 0, 184, 40), logo);

    // The rest of the area, 6 pixels to the right and 9 below, is background.
    const QRgb background = dialog.palette().color(QPalette::Window).rgb();
    for (int y = 0; y < 49; ++y)
        for (int x = 0; x < 190; ++x)
            if (x >= 184 || y >= 40)
                QCOMPARE(drawn.pixel(x, y), background);
}

void AboutTest::onlyCloseTakesTheFocus()
{
#ifdef _WIN32
    QSKIP("Wine on a virtual display without a window manager activates windows late or never");
#endif
    TfrmAbout dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QStringList focusable;
    for (auto* widget : dialog.findChildren<QWidget*>())
        if (widget->focusPolicy() != Qt::NoFocus)
            focusable << widget->objectName();
    QCOMPARE(focusable, QStringList{QStringLiteral("BitBtn1")});
    QTRY_COMPARE(QApplication::focusWidget(), child(dialog, "BitBtn1"));
}

void AboutTest::linkAsksTheShellAndStaysOpen()
{
    testfiles::TestSystem shell;
    tarvik::platform::ScopedSystem useShell(shell);
    TfrmAbout dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* link = child(dialog, "Label1");
    for (size_t clicks = 1; clicks <= 2; ++clicks) {
        QTest::mouseClick(link, Qt::LeftButton, {}, link->rect().center());
        QCOMPARE(shell.shellCalls.size(), clicks);
        const auto& call = shell.shellCalls.back();
        QCOMPARE(call.owner, reinterpret_cast<void*>(dialog.winId()));
        QCOMPARE(call.verb, std::string("Open"));
        QCOMPARE(call.file, std::string("http://www.tarvik.example"));
        QVERIFY(call.parameters.empty());
        QVERIFY(!call.withDirectory);
        QCOMPARE(call.showCommand, 1);
        QVERIFY(dialog.isVisible());
    }
}

void AboutTest::otherClicksDoNothing_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QPoint>("press"); // within the target
    QTest::addColumn<QPoint>("release");
    QTest::newRow("logo") << "Image1" << QPoint(50, 20) << QPoint(50, 20);
    QTest::newRow("Program") << "ProgramLabel" << QPoint(5, 5) << QPoint(5, 5);
    QTest::newRow("VersionLabel") << "VersionLabel" << QPoint(5, 5) << QPoint(5, 5);
    QTest::newRow("dialog background") << "" << QPoint(200, 180) << QPoint(200, 180);
    QTest::newRow("link pressed, released off it") << "Label1" << QPoint(5, 5) << QPoint(5, 40);
}

void AboutTest::otherClicksDoNothing()
{
    QFETCH(QString, target);
    QFETCH(QPoint, press);
    QFETCH(QPoint, release);
    testfiles::TestSystem shell;
    tarvik::platform::ScopedSystem useShell(shell);
    TfrmAbout dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWidget* widget = target.isEmpty() ? &dialog : child(dialog, qPrintable(target));
    QTest::mousePress(widget, Qt::LeftButton, {}, press);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, release);
    QTest::mouseClick(widget, Qt::RightButton, {}, press);
    QVERIFY(shell.shellCalls.empty());
    QVERIFY(dialog.isVisible());
}

void AboutTest::closing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Close button") << "click";
    QTest::newRow("Enter on the focused button") << "enter";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("window close") << "close";
}

void AboutTest::closing()
{
#ifdef _WIN32
    QSKIP("Wine on a virtual display without a window manager activates windows late or never");
#endif
    QFETCH(QString, how);
    TfrmAbout dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto* button = child(dialog, "BitBtn1");
    if (how == "click")
        QTest::mouseClick(button, Qt::LeftButton);
    else if (how == "enter")
        QTest::keyClick(button, Qt::Key_Return);
    else if (how == "escape")
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        dialog.close();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), TfrmAbout::ModalResultCancel);
    QCOMPARE(TfrmAbout::ModalResultCancel, 2);
}

void AboutTest::centredOnTheOwnersScreen_data()
{
    tarvik::test::addScreenRows();
}

void AboutTest::centredOnTheOwnersScreen()
{
    QFETCH(int, screenIndex);
    QMainWindow owner;
    QScreen* screen = tarvik::test::showOnScreen(owner, screenIndex);
    QVERIFY(screen);
    TfrmAbout dialog(&owner);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QRect outer = dialog.frameGeometry();
    QCOMPARE(outer.topLeft(), centredPosition(screen->geometry(), outer.size()));
    QCOMPARE(dialog.size(), QSize(233, 270));
}

void AboutTest::aboutCommandBuildsAndReleasesAFreshDialog()
{
    ShownWindow shown;
    QVERIFY(shown.ready);
    QList<QPointer<QWidget>> dialogs;
    QList<QImage> looks;
    for (int round = 0; round < 2; ++round) {
        shown.dialogs.onModal = [&](QDialog& modal) {
            dialogs << &modal;
            looks << modal.grab().toImage();
            QVERIFY(qobject_cast<TfrmAbout*>(&modal));
            QCOMPARE(modal.parentWidget(), shown.form.get());
            QVERIFY(modal.isModal());
            QCOMPARE(QApplication::activeModalWidget(), &modal);
            QTest::mouseClick(child(modal, "Label1"), Qt::LeftButton);
            QVERIFY(modal.isVisible());
            QTest::mouseClick(child(modal, "BitBtn1"), Qt::LeftButton);
            QVERIFY(!modal.isVisible());
        };
        shown.action("AboutAction")->trigger();
        // Back from the modal loop: the dialog is gone.
        QCOMPARE(dialogs.size(), round + 1);
        QVERIFY(dialogs.last().isNull());
        QVERIFY(shown.form->findChildren<TfrmAbout*>().isEmpty());
    }
#ifndef _WIN32
    // Under Wine the second showing differs from the first (not yet explained).
    QCOMPARE(looks[1], looks[0]);
    // Kept beside the build for the documentation's screenshot.
    QVERIFY(looks[0].save(QStringLiteral(TARVIK_BINARY_DIR "/about-dialog.png")));
#endif
    QCOMPARE(shown.system.shellCalls.size(), size_t(2));
    QVERIFY(shown.dialogs.errors.empty());
}

void AboutTest::aboutCommandReleasesTheDialogWhenItFails()
{
    ShownWindow shown;
    QVERIFY(shown.ready);
    // Take the logo's picture class away: building the dialog fails.
    registerFileFormat(QStringLiteral("jpeg"), QStringLiteral("JPEG Image File"),
                       QStringLiteral("TOther"), [] { return std::make_unique<TJPEGImage>(); });
    registerFileFormat(QStringLiteral("jpg"), QStringLiteral("JPEG Image File"),
                       QStringLiteral("TOther"), [] { return std::make_unique<TJPEGImage>(); });
    shown.action("AboutAction")->trigger();
    registerPictureFormats();

    QCOMPARE(shown.dialogs.errorTexts(),
             std::vector<QString>{QStringLiteral("Class TJPEGImage not found.")});
    QVERIFY(shown.form->findChildren<TfrmAbout*>().isEmpty());
    QVERIFY(shown.form->isVisible());
    // The program goes on: the next About command works.
    bool shownAgain = false;
    shown.dialogs.onModal = [&](QDialog&) { shownAgain = true; };
    shown.action("AboutAction")->trigger();
    QVERIFY(shownAgain);
    QCOMPARE(shown.dialogs.errors.size(), size_t(1));
}

TARVIK_OFFSCREEN_SCREENS_MAIN(AboutTest)
#include "AboutTest.moc"
