// Renders each page of the main window that the user can see, and the About
// dialog, into PNG files for the documentation: the real windows, offscreen,
// with sample values loaded from a settings file in a temporary folder and a
// fixed date. The sample source folders are ones every Debian system has,
// since a folder that is not there is drawn greyed; one more picture shows
// such a folder, with its tooltip.
//
//   TarvikScreenshots <output folder>

#include "gui/BackUpMain.h"
#include "gui/ImageList.h"
#include "gui/ListBox.h"
#include "gui/frmAboutUnit.h"
#include "platform/System.h"
#include "tools/OutputFolder.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolTip>
#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

// The tool's own System, with the sample date: the tests' configurable one
// records shell calls and lives with the test code, which a tool does not link.
class SampleSystem final : public tarvik::platform::System
{
  public:
    explicit SampleSystem(std::string modulePath) : m_modulePath(std::move(modulePath)) {}
    tarvik::platform::LocalDateTime now() override { return {{2026, 12, 6}, 9, 30, 0, 0}; }
    std::string shortDateText(const tarvik::platform::CivilDate&) override { return "12/6/2026"; }
    std::string modulePath() override { return m_modulePath; }
    void shellExecute(tarvik::platform::WindowHandle, const char*, const char*, const char*,
                      const char*, int) override
    {}
    int startupShowCommand() override { return tarvik::platform::ShowDefault; }

  private:
    std::string m_modulePath;
};

const char kSampleFolders[] = "[DirectoryListBox]\r\n"
                              "Number=3\r\n"
                              "sVal0=/etc\r\n"
                              "sVal1=/srv\r\n"
                              "sVal2=/usr/local/share\r\n";
// The same list with a folder on a disk that is not plugged in.
const char kSampleFoldersOneMissing[] = "[DirectoryListBox]\r\n"
                                        "Number=4\r\n"
                                        "sVal0=/etc\r\n"
                                        "sVal1=/media/ann/old-disk/Projects\r\n"
                                        "sVal2=/srv\r\n"
                                        "sVal3=/usr/local/share\r\n";
const char kSampleSettings[] = "[BackupDirEdt]\r\n"
                               "Text=/media/ann/backup-disk\r\n"
                               "[SubDirCheckBox]\r\n"
                               "Checked=1\r\n"
                               "[FileTypesListBox]\r\n"
                               "Number=3\r\n"
                               "sVal0=*.doc\r\n"
                               "sVal1=*.xls\r\n"
                               "sVal2=*.odt\r\n";

bool save(const QPixmap& picture, const QString& file)
{
    if (picture.save(file))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
}

bool save(QWidget& window, const QString& file)
{
    return save(window.grab(), file);
}

bool writeSettings(const QString& file, const char* folders)
{
    QFile settings(file);
    return settings.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           settings.write(folders) >= 0 && settings.write(kSampleSettings) >= 0;
}

// The window with the tooltip of list row `row` drawn over it, where the
// pointer resting on that row, past its text, would show it.
QPixmap withToolTip(tarvik::gui::TBackUpForm& form, int row)
{
    tarvik::gui::ListBox* list = form.DirectoryListBox;
    const QRect item = list->visualRect(list->model()->index(row, 0));
    const int textEnd = list->fontMetrics().horizontalAdvance(list->displayText(row)) + 24;
    const QPoint at = list->viewport()->mapToGlobal(QPoint(textEnd, item.top() - 4));
    QToolTip::showText(at, list->model()->index(row, 0).data(Qt::ToolTipRole).toString(), list);
    QApplication::processEvents();
    QPixmap picture = form.grab();
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->inherits("QTipLabel") && top->isVisible()) {
            // Kept within the picture, as the screen's edge keeps a tooltip.
            QPoint corner = form.mapFromGlobal(top->pos());
            corner.setX(std::min(corner.x(), picture.width() - top->width() - 4));
            QPainter painter(&picture);
            painter.drawPixmap(corner, top->grab());
        }
    QToolTip::hideText();
    return picture;
}

} // namespace

int main(int argc, char** argv)
{
    const std::optional<QString> output = tarvik::tools::outputFolder(argc, argv);
    if (!output)
        return 2;
    QApplication application(argc, argv);
    QTemporaryDir folder;
    const QString settings = folder.filePath(QStringLiteral("TarvikBackUp.INI"));
    if (!writeSettings(settings, kSampleFolders))
        return 1;

    SampleSystem system(QDir::toNativeSeparators(folder.filePath(QStringLiteral("TarvikBackUp")))
                            .toLocal8Bit()
                            .toStdString());
    tarvik::platform::ScopedSystem scoped(system);
    bool ok = true;
    {
        tarvik::gui::TBackUpForm form;
        form.show();
        QApplication::processEvents();
        ok = save(form, *output + QStringLiteral("/window-backup.png")) && ok;
        form.PageControl1->setCurrentWidget(form.TabSheet3);
        QApplication::processEvents();
        ok = save(form, *output + QStringLiteral("/window-settings.png")) && ok;
        {
            tarvik::gui::TfrmAbout about(&form);
            about.show();
            QApplication::processEvents();
            ok = save(about, *output + QStringLiteral("/about-dialog.png")) && ok;
        }
        form.close();
    }
    if (!writeSettings(settings, kSampleFoldersOneMissing))
        return 1;
    {
        tarvik::gui::TBackUpForm form;
        form.show();
        // The look for missing folders answers from a thread of its own.
        const QDeadlineTimer deadline(10000);
        while (!form.DirectoryListBox->isMarkedMissing(1) && !deadline.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        ok = save(withToolTip(form, 1), *output + QStringLiteral("/window-missing-source.png")) &&
             ok;
        form.close();
    }
    return ok ? 0 : 1;
}
