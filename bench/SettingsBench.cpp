// The settings store's list operations against reading the settings file once:
// one profile read of a key the file does not hold, which goes through the
// whole file. Prints each as a ratio (targets below 5), and for scale the
// ratios to more references: reading the file's bytes alone, reading every
// entry of the list's section once, writing the file once on disk, and
// replacing it once as a save must (new file on disk, renamed over the old
// one, the folder's entry on disk).
#include "BackUpSettings.h"
#include "ModulePathSystem.h"
#include "Profile.h"
#include "System.h"

#include <QApplication>
#include "ListBox.h"
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <unistd.h>
#include <vector>

using namespace tarvik;

namespace {

// Median of `runs` timings of `work`, in microseconds; `prepare` runs untimed
// before each.
double medianMicroseconds(int runs, const std::function<void()>& prepare,
                          const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        prepare();
        const auto start = std::chrono::steady_clock::now();
        work();
        const auto end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double readOnce(const std::string& path)
{
    return medianMicroseconds(
        41, [] {}, [&] { platform::getProfileString("BackUpForm", "NotThere", "", path); });
}

void report(const char* name, double micros, double reference)
{
    std::printf("%-46s %10.0f us  ratio %6.2f  (target < 5)\n", name, micros, micros / reference);
}

void reference(const char* name, double micros)
{
    std::printf("%-46s %10.0f us\n", name, micros);
}

double readBytesOnce(const std::string& path)
{
    return medianMicroseconds(
        41, [] {},
        [&] {
            std::FILE* file = std::fopen(path.c_str(), "rb");
            std::fseek(file, 0, SEEK_END);
            std::string bytes(static_cast<size_t>(std::ftell(file)), '\0');
            std::rewind(file);
            if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size())
                std::printf("error: short read\n");
            std::fclose(file);
        });
}

double writeOnceDurably(const std::string& path, bool replace)
{
    const std::string bytes = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    const std::string copy = path + ".copy";
    return medianMicroseconds(
        21, [] {},
        [&] {
            std::FILE* file = std::fopen(copy.c_str(), "wb");
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fflush(file);
            ::fsync(::fileno(file));
            std::fclose(file);
            if (replace) {
                std::rename(copy.c_str(), (copy + "2").c_str());
                const std::string folder = path.substr(0, path.rfind('/'));
                const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
                ::fsync(handle);
                ::close(handle);
            } else {
                std::rename(copy.c_str(), (copy + "2").c_str());
            }
        });
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir folder;
    test::ModulePathSystem system(folder.filePath("TarvikBackUp").toStdString());
    platform::ScopedSystem scoped(system);
    const std::string path = folder.filePath("TarvikBackUp.INI").toStdString();

    constexpr int kItems = 10000;
    gui::ListBox list;
    list.setObjectName("DirectoryListBox");
    for (int i = 0; i < kItems; ++i)
        list.addItem(QStringLiteral("/home/user/projects/folder-%1/documents").arg(i));
    gui::TBackUpSettings().SaveListBox(&list);

    std::printf(
        "settings file with %d list items, %lld bytes, in %s\n", kItems,
        static_cast<long long>(std::ifstream(path, std::ios::binary | std::ios::ate).tellg()),
        folder.path().toLocal8Bit().constData());
    const double readReference = readOnce(path);
    reference("reference: reading the file once", readReference);
    const double entriesReference = medianMicroseconds(
        21, [] {}, [&] { platform::getProfileSection("DirectoryListBox", path); });
    reference("  for scale: reading every entry once", entriesReference);
    const double bytesReference = readBytesOnce(path);
    reference("  for scale: reading the file's bytes alone", bytesReference);
    const double writeReference = writeOnceDurably(path, false);
    reference("  for scale: writing the file once, on disk", writeReference);
    const double replaceReference = writeOnceDurably(path, true);
    reference("  for scale: replacing the file once, on disk", replaceReference);

    gui::ListBox loaded;
    loaded.setObjectName("DirectoryListBox");
    const double load = medianMicroseconds(
        21, [&] { loaded.clear(); }, [&] { gui::TBackUpSettings().LoadListBox(&loaded); });
    if (loaded.count() != kItems)
        std::printf("error: loaded %d items\n", loaded.count());
    report("LoadListBox, 10,000 items", load, readReference);
    std::printf("%-46s %10s     ratio %6.2f to the file's bytes alone\n", "", "",
                load / bytesReference);
    std::printf("%-46s %10s     ratio %6.2f to every entry once\n", "", "",
                load / entriesReference);
    const double save = medianMicroseconds(
        21, [] {}, [&] { gui::TBackUpSettings().SaveListBox(&list); });
    report("SaveListBox, 10,000 items", save, readReference);
    std::printf("%-46s %10s     ratio %6.2f to the file's bytes alone\n", "", "",
                save / bytesReference);
    std::printf("%-46s %10s     ratio %6.2f to writing the file once\n", "", "",
                save / writeReference);
    std::printf("%-46s %10s     ratio %6.2f to replacing the file once\n", "", "",
                save / replaceReference);
    const double widgets = medianMicroseconds(
        21, [&] { loaded.clear(); },
        [&] {
            loaded.addItems(list.items());
        });
    std::printf("%-46s %10.0f us  ratio %6.2f\n", "  for scale: filling the list widget alone",
                widgets, widgets / readReference);

    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << "[DirectoryListBox]\r\nNumber=2147483647\r\nsVal0=/a\r\nsVal5=/b\r\nsVal70000=/c\r\n";
    const double smallReference = readOnce(path);
    reference("reference: reading the small file once", smallReference);
    const double huge = medianMicroseconds(
        41, [&] { loaded.clear(); }, [&] { gui::TBackUpSettings().LoadListBox(&loaded); });
    if (loaded.count() != 3)
        std::printf("error: loaded %d items\n", loaded.count());
    report("LoadListBox, Number 2147483647, three keys", huge, smallReference);
    const double smallReplace = writeOnceDurably(path, true);
    reference("  for scale: replacing the small file once", smallReplace);
    const double smallSave = medianMicroseconds(
        21, [] {}, [&] { gui::TBackUpSettings().SaveListBox(&loaded); });
    report("SaveListBox, those three items", smallSave, smallReference);
    std::printf("%-46s %10s     ratio %6.2f to replacing the file once\n", "", "",
                smallSave / smallReplace);
    return 0;
}
