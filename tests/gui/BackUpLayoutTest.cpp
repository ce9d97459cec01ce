// The main window's placements: the designed client area, where each control
// sits in its parent, what moves when the window is resized, and the focus
// order.

#include "ShownWindow.h"
#include "gui/BackUpMain.h"
#include "gui/ListBox.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <algorithm>

class BackUpLayoutTest : public windowtest::WindowPerTest
{
    Q_OBJECT

  private slots:
    void clientAreaIsAsDesigned()
    {
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Back Up"));
        QCOMPARE(m_form->width(), 415);
        QCOMPARE(m_form->height() - m_form->MainMenu1->height(), 506);
        QCOMPARE(m_form->StatusBar1->height(), 19);
        QVERIFY(m_form->StatusBar1->currentMessage().isEmpty());
        QCOMPARE(m_form->PageControl1->geometry().bottom() + 1, m_form->StatusBar1->y());
    }

    // Controls at fixed places within their parents, whatever the window's size.
    void controlsSitWhereDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("placement");
        QTest::addColumn<QSize>("windowSize");
        const std::pair<const char*, QRect> rows[] = {
            {"RunBackupSpeedButton", {9, 10, 89, 41}},
            {"AddDirSpeedButton", {104, 8, 89, 41}},
            {"SpeedButton1", {200, 8, 89, 41}},
            {"DateTimePicker", {88, 14, 121, 21}},
            {"SpeedButton2", {16, 8, 65, 33}},
            {"GroupBox2", {3, 3, 401, 62}},
            {"BackupDirEdt", {11, 22, 350, 21}},
            {"SelectBUDirButton", {367, 22, 25, 21}},
            {"GroupBox1", {3, 71, 294, 137}},
            {"FileTypesListBox", {8, 24, 177, 97}},
            {"SpeedButton3", {191, 27, 89, 22}},
            {"SpeedButton4", {191, 55, 89, 22}},
            {"GroupBox3", {3, 214, 294, 54}},
            {"SubDirCheckBox", {11, 24, 169, 17}},
            {"ChangesFromDateCheckBox", {16, 274, 249, 17}},
            {"AddNotesCheckBox", {16, 320, 201, 17}},
            {"DelphiFilesCheckBox", {240, 352, 97, 17}},
        };
        for (QSize size : {QSize(), QSize(700, 800), QSize(300, 400)})
            for (const auto& [name, placement] : rows)
                QTest::addRow("%s %dx%d", name, size.width(), size.height())
                    << name << placement << size;
    }
    void controlsSitWhereDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QRect, placement);
        QFETCH(QSize, windowSize);
        if (windowSize.isValid())
            m_form->resize(windowSize);
        auto* control = m_form->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->geometry(), placement);
        QCOMPARE(m_form->Label1->pos(), QPoint(8, 17));
    }

    // The top panel stays at the top, the bottom panel at the bottom, and the
    // list of folders takes what lies between them.
    void backupPageFollowsTheWindow_data()
    {
        QTest::addColumn<QSize>("windowSize");
        QTest::newRow("designed") << QSize();
        QTest::newRow("larger") << QSize(800, 900);
        QTest::newRow("smaller") << QSize(350, 420);
    }
    void backupPageFollowsTheWindow()
    {
        QFETCH(QSize, windowSize);
        if (windowSize.isValid())
            m_form->resize(windowSize);
        QWidget* page = m_form->TabSheet1;
        const QRect top = m_form->Panel1->geometry();
        const QRect list = m_form->DirectoryListBox->geometry();
        const QRect bottom = m_form->Panel2->geometry();
        QCOMPARE(top, QRect(0, 0, page->width(), 57));
        QCOMPARE(bottom, QRect(0, page->height() - 51, page->width(), 51));
        QCOMPARE(list, QRect(0, 57, page->width(), page->height() - 57 - 51));
        QCOMPARE(m_form->PageControl1->width(), m_form->width());
        QCOMPARE(m_form->StatusBar1->geometry().bottom(), m_form->height() - 1);
    }

    // At any size the window takes, every control of both pages is whole
    // within its page; room beyond the designed size goes to the fields and
    // lists, while buttons keep their size and follow their edge.
    void pagesFitTheWindow_data()
    {
        QTest::addColumn<QSize>("windowSize");
        QTest::newRow("as small as it goes") << QSize(1, 1);
        QTest::newRow("designed") << QSize();
        QTest::newRow("wider") << QSize(700, 560);
        QTest::newRow("taller") << QSize(415, 800);
        QTest::newRow("larger") << QSize(1000, 900);
    }
    void pagesFitTheWindow()
    {
        QFETCH(QSize, windowSize);
        QTabWidget* pages = m_form->PageControl1;
        for (QWidget* page : {m_form->TabSheet3, m_form->TabSheet1}) {
            pages->setCurrentWidget(page);
            if (windowSize.isValid())
                m_form->resize(windowSize);
            QTRY_COMPARE(page->size(), pages->currentWidget()->parentWidget()->size());
            QVERIFY(m_form->width() >= m_form->minimumWidth());
            for (QWidget* control : page->findChildren<QWidget*>()) {
                if (control->objectName().isEmpty() || !control->isVisible())
                    continue;
                const QRect within(control->mapTo(page, QPoint(0, 0)), control->size());
                QVERIFY2(page->rect().contains(within), qPrintable(control->objectName()));
            }
        }
        const int wider = pages->width() - 415;
        const int taller = std::max(0, pages->height() - (506 - 19));
        if (!windowSize.isValid())
            QCOMPARE(wider, 0);
        QCOMPARE(m_form->BackupDirEdt->width(), 350 + wider);
        QCOMPARE(m_form->GroupBox2->width() - m_form->SelectBUDirButton->geometry().right(), 10);
        QCOMPARE(m_form->FileTypesListBox->size(), QSize(177 + std::max(0, wider), 97 + taller));
        const std::pair<QWidget*, QSize> buttons[] = {
            {m_form->SelectBUDirButton, {25, 21}},
            {m_form->SpeedButton3, {89, 22}},
            {m_form->SpeedButton4, {89, 22}},
            {m_form->RunBackupSpeedButton, {89, 41}},
        };
        for (const auto& [button, designed] : buttons)
            QCOMPARE(button->size(), designed);
        QCOMPARE(m_form->SpeedButton3->x() - m_form->FileTypesListBox->geometry().right(), 7);
    }

    void hiddenCheckBoxesStayHidden()
    {
        m_form->PageControl1->setCurrentWidget(m_form->TabSheet3);
        QVERIFY(m_form->SubDirCheckBox->isVisible());
        for (QCheckBox* hidden : {m_form->AddNotesCheckBox, m_form->DelphiFilesCheckBox,
                                  m_form->ChangesFromDateCheckBox})
            QVERIFY2(!hidden->isVisible(), qPrintable(hidden->objectName()));
    }

    // Tab walks the controls of each page in the designed order.
    void focusOrder_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("Backup") << 0
                                << QStringList({"RunBackupSpeedButton", "AddDirSpeedButton",
                                                "SpeedButton1", "DirectoryListBox",
                                                "DateTimePicker"});
        QTest::newRow("Settings") << 2
                                  << QStringList({"FileTypesListBox", "SpeedButton3",
                                                  "SpeedButton4", "BackupDirEdt",
                                                  "SelectBUDirButton", "SubDirCheckBox"});
    }
    void focusOrder()
    {
        QFETCH(int, page);
        QFETCH(QStringList, order);
        m_form->PageControl1->setCurrentIndex(page);
        m_form->activateWindow();
        auto* first = m_form->findChild<QWidget*>(order.first());
        first->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(first->hasFocus());
        for (int i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focused = QApplication::focusWidget();
            // The picker's own line edit stands for the picker.
            while (focused && focused->objectName().isEmpty())
                focused = focused->parentWidget();
            QVERIFY(focused);
            QCOMPARE(focused->objectName(), order[i]);
        }
    }
};

QTEST_MAIN(BackUpLayoutTest)
#include "BackUpLayoutTest.moc"
