// Start-up time of the program up to the end of FormShow, with a settings
// file of 100 folders and 20 file types, as a ratio to a QMainWindow program
// showing one label, started the same way (offscreen, from a copy in a
// temporary folder): any window with text pays the font set-up, so that is the
// reference. Target: at most 1.5. Each probe prints a line once its window is
// shown; the time from starting the process to that line is taken, alternating
// the probes, and the medians are compared. A third probe, a bare QMainWindow,
// shows what a window without text costs, for scale.
//
//   StartupBench <window probe> <bare probe> <text probe> [runs]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QByteArray settingsWithLongLists()
{
    QByteArray text = "[DirectoryListBox]\r\nNumber=100\r\n";
    for (int i = 0; i < 100; ++i)
        text += "sVal" + QByteArray::number(i) + "=/home/user/projects/folder-" +
                QByteArray::number(i) + "\r\n";
    text += "[BackupDirEdt]\r\nText=/media/backup\r\n[SubDirCheckBox]\r\nChecked=1\r\n";
    text += "[FileTypesListBox]\r\nNumber=20\r\n";
    for (int i = 0; i < 20; ++i)
        text += "sVal" + QByteArray::number(i) + "=*.ext" + QByteArray::number(i) + "\r\n";
    return text;
}

// Milliseconds from starting `program` until it reports its window shown;
// negative when it never did.
double timeToShown(const QString& program)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(program, {});
    double shown = -1;
    while (process.waitForReadyRead(30000)) {
        if (process.readAllStandardOutput().contains("shown")) {
            shown = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            break;
        }
    }
    process.waitForFinished(30000);
    return shown;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <window probe> <bare probe> <text probe> [runs]\n",
                     argv[0]);
        return 2;
    }
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 21;
    QTemporaryDir folder;
    const QString window = folder.filePath(QStringLiteral("WindowProbe"));
    const QString bare = folder.filePath(QStringLiteral("BareProbe"));
    const QString text = folder.filePath(QStringLiteral("TextProbe"));
    if (!QFile::copy(QString::fromLocal8Bit(argv[1]), window) ||
        !QFile::copy(QString::fromLocal8Bit(argv[2]), bare) ||
        !QFile::copy(QString::fromLocal8Bit(argv[3]), text))
        return 1;
    QFile settings(folder.filePath(QStringLiteral("WindowProbe.INI")));
    if (!settings.open(QIODevice::WriteOnly) || settings.write(settingsWithLongLists()) < 0)
        return 1;
    settings.close();

    // One start of each first, so all find the libraries in the page cache.
    const QString probes[] = {window, bare, text};
    std::vector<double> times[3];
    for (const QString& probe : probes)
        timeToShown(probe);
    for (int i = 0; i < runs; ++i)
        for (int p = 0; p < 3; ++p)
            times[p].push_back(timeToShown(probes[p]));
    for (const auto& series : times) {
        if (*std::min_element(series.begin(), series.end()) < 0) {
            std::fprintf(stderr, "a probe never showed its window\n");
            return 1;
        }
    }
    const double windowMedian = median(times[0]);
    const double bareMedian = median(times[1]);
    const double textMedian = median(times[2]);
    std::printf("start-up to the end of FormShow (100 folders, 20 types), median of %d:\n", runs);
    std::printf("  main window                 %8.1f ms\n", windowMedian);
    std::printf("  bare QMainWindow            %8.1f ms\n", bareMedian);
    std::printf("  QMainWindow with one label  %8.1f ms\n", textMedian);
    std::printf("  ratio to the labelled one   %8.2f (target at most 1.5)\n",
                windowMedian / textMedian);
    std::printf("  ratio to the bare window    %8.2f (for scale)\n", windowMedian / bareMedian);
    return 0;
}
