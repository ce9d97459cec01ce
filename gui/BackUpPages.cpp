// The window's definition: its actions, menus and pages, with every component
// at the place and with the anchors it was designed with (a 415 x 506 client
// area at 96 dpi), and the room a larger window gives to the fields.

#include "gui/BackUpMain.h"
#include "gui/DateFormat.h"
#include "gui/ImageList.h"
#include "gui/ListBox.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>

namespace tarvik::gui {
namespace {

constexpr int kListItemHeight = 13;
// The page control's designed size: the client area less the status bar.
constexpr QSize kDesignedPages(415, 506 - 19);

// List boxes draw their items 13 pixels high, whatever the style would choose.
class FixedItemHeight final : public QStyledItemDelegate
{
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kListItemHeight};
    }
};

template <typename Widget> Widget* named(Widget* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QFrame* panel(QWidget* parent, const char* name, int height)
{
    auto* frame = named(new QFrame(parent), name);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setFixedHeight(height);
    return frame;
}

// The layout of a page whose panels and list stand in one column, edge to edge.
QVBoxLayout* edgeToEdgeColumn(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    return column;
}

ListBox* listBox(QWidget* parent, const char* name)
{
    auto* list = named(new ListBox(parent), name);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    list->setItemDelegate(new FixedItemHeight(list));
    return list;
}

// A tool button takes its caption from `action` but carries its own picture.
// Tab reaches it (Space presses it); a click leaves the focus where it was,
// so that a list keeps its selection in view.
QToolButton* toolButton(QWidget* parent, const char* name, QAction* action, Picture glyph,
                        Qt::ToolButtonStyle style, bool flat, QRect placement)
{
    auto* button = named(new QToolButton(parent), name);
    button->setDefaultAction(action);
    button->setIcon(picture(glyph));
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(style);
    button->setAutoRaise(flat);
    button->setFocusPolicy(Qt::TabFocus);
    button->setGeometry(placement);
    return button;
}

// The Settings page's controls, `dx` wider (narrower, when negative) and
// `growDown` higher than designed. At the designed size every control sits
// where it was designed. A larger window gives its extra width to the backup
// folder field and the file-type list, and its extra height to that list; the
// buttons keep their size and move with the edge they sit at. Narrower than
// designed, only the backup folder field gives up room: the window's minimum
// size keeps the rest whole.
void placeSettingsControls(TBackUpForm& form, int dx, int growDown)
{
    const int grow = std::max(0, dx);
    form.GroupBox2->setGeometry(3, 3, 401 + dx, 62);
    form.BackupDirEdt->setGeometry(11, 22, 350 + dx, 21);
    form.SelectBUDirButton->setGeometry(367 + dx, 22, 25, 21);
    form.GroupBox1->setGeometry(3, 71, 294 + grow, 137 + growDown);
    form.FileTypesListBox->setGeometry(8, 24, 177 + grow, 97 + growDown);
    form.SpeedButton3->setGeometry(191 + grow, 27, 89, 22);
    form.SpeedButton4->setGeometry(191 + grow, 55, 89, 22);
    form.GroupBox3->setGeometry(3, 214 + growDown, 294 + grow, 54);
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption, QRect placement)
{
    auto* box = named(new QCheckBox(caption, parent), name);
    box->setGeometry(placement);
    return box;
}

// The tool buttons keep their designed size; with a font wider than the one
// they were designed for, their captions are drawn smaller, all alike, so that
// none is cut short.
void fitCaptions(std::initializer_list<QToolButton*> buttons)
{
    QFont font = (*buttons.begin())->font();
    const auto widest = [&buttons](const QFont& candidate) {
        qreal overflow = 1.0; // the largest caption width over its room
        for (QToolButton* button : buttons) {
            const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
            const qreal room = button->width() - 2 * frame;
            overflow = std::max(overflow,
                                QFontMetricsF(candidate).horizontalAdvance(button->text()) / room);
        }
        return overflow;
    };
    const qreal overflow = widest(font);
    if (overflow <= 1.0)
        return;
    // Text widths grow with the point size; rounding down to half points
    // nearly always fits at once, and a last half-point step catches hinting.
    font.setPointSizeF(std::max(6.0, std::floor(font.pointSizeF() / overflow * 2) / 2));
    if (widest(font) > 1.0 && font.pointSizeF() > 6.0)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    for (QToolButton* button : buttons)
        button->setFont(font);
}

// The tab widget's own page walk (Ctrl+Tab) does not skip hidden tabs: a step
// onto one goes on, in the same direction, to the next tab that is shown.
void keepHiddenPagesClosed(QTabWidget* pages)
{
    auto previous = std::make_shared<int>(pages->currentIndex());
    QObject::connect(pages, &QTabWidget::currentChanged, pages, [pages, previous](int index) {
        const int count = pages->count();
        if (index >= 0 && !pages->isTabVisible(index)) {
            const int step = (index - *previous + count) % count == 1 ? 1 : count - 1;
            int next = index;
            do
                next = (next + step) % count;
            while (next != index && !pages->isTabVisible(next));
            if (next != index) {
                pages->setCurrentIndex(next);
                return;
            }
        }
        *previous = index;
    });
}

// Lets the menu bar take the keyboard on a lone Alt press and release, and
// open its menus with the arrow keys, as it does under the Windows style.
class MenuBarKeys final : public QProxyStyle
{
  public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override
    {
        if (hint == SH_MenuBar_AltKeyNavigation)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

// Calls `arrange` whenever `widget` changes its size.
class OnResize final : public QObject
{
  public:
    OnResize(QWidget* widget, std::function<void()> arrange)
        : QObject(widget), m_arrange(std::move(arrange))
    {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parent() && event->type() == QEvent::Resize)
            m_arrange();
        return false;
    }

  private:
    std::function<void()> m_arrange;
};

// The user's short date form, with the year always in full.
QString shortDateFormat()
{
    return withFullYear(QLocale::system().dateFormat(QLocale::ShortFormat));
}

} // namespace

QAction* TBackUpForm::createAction(const char* name, const QString& caption)
{
    auto* action = named(new QAction(caption, ActionList), name);
    action->setProperty("category", QStringLiteral("Std"));
    action->setShortcuts({});
    action->setAutoRepeat(false);
    return action;
}

QAction* TBackUpForm::createAction(const char* name, const QString& caption, Picture glyph)
{
    QAction* action = createAction(name, caption);
    action->setIcon(picture(glyph));
    return action;
}

void TBackUpForm::createActions()
{
    ActionList = named(new QObject(this), "ActionList");
    ExitProgram = createAction("ExitProgram", QStringLiteral("Exit"), Picture::DoorWithArrow);
    RunBackupAction =
        createAction("RunBackupAction", QStringLiteral("Run Backup"), Picture::ArrowUpLeft);
    AddDirectoryAction =
        createAction("AddDirectoryAction", QStringLiteral("Add Directory"), Picture::GreenPlus);
    RemoveDirectoryAction = createAction("RemoveDirectoryAction",
                                         QStringLiteral("Remove Directory"), Picture::RedCross);
    AddFileTypeAction =
        createAction("AddFileTypeAction", QStringLiteral("Add"), Picture::GreenPlus);
    RemoveFileTypeAction =
        createAction("RemoveFileTypeAction", QStringLiteral("Remove"), Picture::RedCross);
    AboutAction = createAction("AboutAction", QStringLiteral("About"));
}

// A menu item bound to `action`: it shows the action's caption and picture and
// runs the action when chosen.
QAction* TBackUpForm::createMenuItem(QMenu* menu, const char* name, QAction* action)
{
    auto* item = named(new QAction(action->icon(), action->text(), menu), name);
    connect(action, &QAction::changed, item, [item, action] {
        item->setText(action->text());
        item->setIcon(action->icon());
    });
    connect(item, &QAction::triggered, action, &QAction::trigger);
    menu->addAction(item);
    return item;
}

void TBackUpForm::createMenus()
{
    MainMenu1 = named(new QMenuBar(this), "MainMenu1");
    auto* keys = new MenuBarKeys;
    keys->setParent(MainMenu1);
    MainMenu1->setStyle(keys);
    setMenuBar(MainMenu1);
    File1 = named(MainMenu1->addMenu(QStringLiteral("File")), "File1");
    RunBackup1 = createMenuItem(File1, "RunBackup1", RunBackupAction);
    N1 = named(File1->addSeparator(), "N1");
    Exit1 = createMenuItem(File1, "Exit1", ExitProgram);
    Help1 = named(MainMenu1->addMenu(QStringLiteral("Help")), "Help1");
    About1 = createMenuItem(Help1, "About1", AboutAction);
    PopupMenu1 = named(new QMenu(this), "PopupMenu1");
    RemoveDir1 = createMenuItem(PopupMenu1, "RemoveDir1", RemoveDirectoryAction);
}

void TBackUpForm::createBackupPage()
{
    TabSheet1 = named(new QWidget(PageControl1), "TabSheet1");
    auto* column = edgeToEdgeColumn(TabSheet1);
    Panel1 = panel(TabSheet1, "Panel1", 57);
    RunBackupSpeedButton =
        toolButton(Panel1, "RunBackupSpeedButton", RunBackupAction, Picture::RunBackupButton,
                   Qt::ToolButtonTextUnderIcon, true, QRect(9, 10, 89, 41));
    AddDirSpeedButton =
        toolButton(Panel1, "AddDirSpeedButton", AddDirectoryAction, Picture::GreenPlus,
                   Qt::ToolButtonTextUnderIcon, true, QRect(104, 8, 89, 41));
    SpeedButton1 = toolButton(Panel1, "SpeedButton1", RemoveDirectoryAction, Picture::RedCross,
                              Qt::ToolButtonTextUnderIcon, true, QRect(200, 8, 89, 41));

    DirectoryListBox = listBox(TabSheet1, "DirectoryListBox");
    DirectoryListBox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DirectoryListBox, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        if (!PopupMenu1->isVisible())
            PopupMenu1->popup(DirectoryListBox->viewport()->mapToGlobal(at));
    });

    // Label and picker keep their distance to the panel's bottom edge.
    Panel2 = panel(TabSheet1, "Panel2", 51);
    Label1 = named(new QLabel(QStringLiteral("Changes From"), Panel2), "Label1");
    Label1->move(8, 17);
    DateTimePicker = named(new QDateEdit(Panel2), "DateTimePicker");
    DateTimePicker->setCalendarPopup(true);
    DateTimePicker->setDisplayFormat(shortDateFormat());
    DateTimePicker->setGeometry(88, 14, 121, 21);

    column->addWidget(Panel1);
    column->addWidget(DirectoryListBox, 1);
    column->addWidget(Panel2);
}

void TBackUpForm::createNotesPage()
{
    TabSheet2 = named(new QWidget(PageControl1), "TabSheet2");
    auto* column = edgeToEdgeColumn(TabSheet2);
    Panel3 = panel(TabSheet2, "Panel3", 57);
    SpeedButton2 = named(new QToolButton(Panel3), "SpeedButton2");
    SpeedButton2->setText(QStringLiteral("Create Note"));
    SpeedButton2->setFocusPolicy(Qt::TabFocus);
    SpeedButton2->setGeometry(16, 8, 65, 33);
    NotesMemo = named(new QPlainTextEdit(TabSheet2), "NotesMemo");
    NotesMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // One empty line, ended like every line of a memo.
    NotesMemo->setPlainText(QStringLiteral("\n"));
    column->addWidget(Panel3);
    column->addWidget(NotesMemo, 1);
}

void TBackUpForm::createSettingsPage()
{
    TabSheet3 = named(new QWidget(PageControl1), "TabSheet3");

    GroupBox2 = named(new QGroupBox(QStringLiteral("Backup Directory"), TabSheet3), "GroupBox2");
    BackupDirEdt = named(new QLineEdit(GroupBox2), "BackupDirEdt");
    SelectBUDirButton =
        named(new QPushButton(QStringLiteral("..."), GroupBox2), "SelectBUDirButton");
    SelectBUDirButton->setAutoDefault(false);

    GroupBox1 = named(new QGroupBox(QStringLiteral("File Types"), TabSheet3), "GroupBox1");
    FileTypesListBox = listBox(GroupBox1, "FileTypesListBox");
    SpeedButton3 = toolButton(GroupBox1, "SpeedButton3", AddFileTypeAction, Picture::GreenPlus,
                              Qt::ToolButtonTextBesideIcon, false, {});
    SpeedButton4 = toolButton(GroupBox1, "SpeedButton4", RemoveFileTypeAction, Picture::RedCross,
                              Qt::ToolButtonTextBesideIcon, false, {});

    GroupBox3 = named(new QGroupBox(QStringLiteral("Options"), TabSheet3), "GroupBox3");
    SubDirCheckBox = checkBox(GroupBox3, "SubDirCheckBox",
                              QStringLiteral("Include Sub Directories"), QRect(11, 24, 169, 17));

    // Kept for the settings file only: never shown, never read by a command.
    ChangesFromDateCheckBox = checkBox(TabSheet3, "ChangesFromDateCheckBox",
                                       QStringLiteral("Change From Date Default To Last Backup"),
                                       QRect(16, 274, 249, 17));
    AddNotesCheckBox =
        checkBox(TabSheet3, "AddNotesCheckBox",
                 QStringLiteral("Add Notes File to Backup Directory"), QRect(16, 320, 201, 17));
    DelphiFilesCheckBox = checkBox(TabSheet3, "DelphiFilesCheckBox",
                                   QStringLiteral("Delphi Files Only"), QRect(240, 352, 97, 17));
    for (QCheckBox* hidden : {ChangesFromDateCheckBox, AddNotesCheckBox, DelphiFilesCheckBox})
        hidden->setVisible(false);
    placeSettingsControls(*this, 0, 0);
    new OnResize(TabSheet3, [this] { arrangeSettingsPage(); });
}

void TBackUpForm::arrangeSettingsPage()
{
    placeSettingsControls(*this, PageControl1->width() - kDesignedPages.width(),
                          std::max(0, PageControl1->height() - kDesignedPages.height()));
}

void TBackUpForm::createPages()
{
    PageControl1 = named(new QTabWidget(this), "PageControl1");
    PageControl1->setIconSize(QSize(16, 16));
    createBackupPage();
    createNotesPage();
    createSettingsPage();
    PageControl1->addTab(TabSheet1, picture(Picture::ArrowUpLeft), QStringLiteral("Backup"));
    PageControl1->addTab(TabSheet2, picture(Picture::NotesPage), QStringLiteral("Notes"));
    PageControl1->addTab(TabSheet3, picture(Picture::HammerAndWrench), QStringLiteral("Settings"));
    PageControl1->setTabVisible(PageControl1->indexOf(TabSheet2), false);
    keepHiddenPagesClosed(PageControl1);
    // The page the window was designed with; FormShow selects "Backup".
    PageControl1->setCurrentWidget(TabSheet3);
    setCentralWidget(PageControl1);

    StatusBar1 = named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setFixedHeight(19);
    setStatusBar(StatusBar1);
}

// What depends on the font's measurements, once the controls exist.
void TBackUpForm::fitToFont()
{
    Label1->adjustSize();
    fitCaptions({RunBackupSpeedButton, AddDirSpeedButton, SpeedButton1});
    // No page may become smaller than what it shows: the window's minimum
    // size follows from these, with the room the tabs and frames take.
    constexpr int margin = 3;
    Panel1->setMinimumWidth(SpeedButton1->geometry().right() + 1 + margin);
    Panel2->setMinimumWidth(DateTimePicker->geometry().right() + 1 + margin);
    DirectoryListBox->setMinimumHeight(4 * kListItemHeight);
    TabSheet3->setMinimumSize(GroupBox1->geometry().right() + 1 + margin,
                              GroupBox3->geometry().bottom() + 1 + margin);
    // The designed client area lies below the menu bar.
    resize(415, 506 + MainMenu1->sizeHint().height());
}

// Each page in reading order, its tool buttons where they stand: the Backup
// page's above its list, the File Types buttons beside theirs.
void TBackUpForm::setFocusOrder()
{
    const auto chain = [](std::initializer_list<QWidget*> order) {
        for (auto next = order.begin() + 1; next != order.end(); ++next)
            setTabOrder(*(next - 1), *next);
    };
    chain(
        {RunBackupSpeedButton, AddDirSpeedButton, SpeedButton1, DirectoryListBox, DateTimePicker});
    chain({FileTypesListBox, SpeedButton3, SpeedButton4, BackupDirEdt, SelectBUDirButton,
           SubDirCheckBox});
}

} // namespace tarvik::gui
