// Renders each page of the main window that the user can see, and the About
// dialog, into PNG files for the documentation: the real windows, offscreen,
// with sample values loaded from a settings file in a temporary folder and a
// fixed date.
//
//   TarvikScreenshots <output folder>

#include "BackUpMain.h"
#include "ImageList.h"
#include "System.h"
#include "frmAboutUnit.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>

namespace {

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

const char kSampleSettings[] = "[DirectoryListBox]\r\n"
                               "Number=3\r\n"
                               "sVal0=/home/ann/Documents\r\n"
                               "sVal1=/home/ann/Projects/website\r\n"
                               "sVal2=/home/ann/Pictures/2026\r\n"
                               "[BackupDirEdt]\r\n"
                               "Text=/media/ann/backup-disk\r\n"
                               "[SubDirCheckBox]\r\n"
                               "Checked=1\r\n"
                               "[FileTypesListBox]\r\n"
                               "Number=3\r\n"
                               "sVal0=*.doc\r\n"
                               "sVal1=*.xls\r\n"
                               "sVal2=*.odt\r\n";

bool save(QWidget& window, const QString& file)
{
    if (window.grab().save(file))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(output);
    QTemporaryDir folder;
    QFile settings(folder.filePath(QStringLiteral("TarvikBackUp.INI")));
    if (!settings.open(QIODevice::WriteOnly) || settings.write(kSampleSettings) < 0)
        return 1;
    settings.close();

    SampleSystem system(QDir::toNativeSeparators(folder.filePath(QStringLiteral("TarvikBackUp")))
                            .toLocal8Bit()
                            .toStdString());
    tarvik::platform::ScopedSystem scoped(system);
    bool ok = true;
    {
        tarvik::gui::TBackUpForm form;
        form.show();
        QApplication::processEvents();
        ok = save(form, output + QStringLiteral("/window-backup.png")) && ok;
        form.PageControl1->setCurrentWidget(form.TabSheet3);
        QApplication::processEvents();
        ok = save(form, output + QStringLiteral("/window-settings.png")) && ok;
        {
            tarvik::gui::TfrmAbout about(&form);
            about.show();
            QApplication::processEvents();
            ok = save(about, output + QStringLiteral("/about-dialog.png")) && ok;
        }
        form.close();
    }
    return ok ? 0 : 1;
}
