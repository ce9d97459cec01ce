// A backup run from end to end on Windows: the script that core writes is
// handed to the shell's "open", and the system's own command interpreter runs
// its MD and xcopy lines. Under Wine every path is a Z:\ path, on the Unix
// file system.
#include "Check.h"
#include "TestFiles.h"
#include "core/BackupRun.h"
#include "core/BackupScript.h"
#include "platform/ConsoleText.h"
#include "platform/FileSystem.h"
#include "platform/TextFile.h"

// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tarvik;

namespace {

// A fresh folder for one test, removed with all it holds.
class WorkFolder
{
  public:
    WorkFolder()
    {
        // Under Wine, beside the prefix (which belongs to the user the tests
        // run as), reached through the drive Z: that maps the Unix root.
        std::string base;
        if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix == '/') {
            base = std::string("Z:") + prefix;
            std::replace(base.begin(), base.end(), '/', '\\');
            base.erase(base.find_last_of('\\', base.size() - 2) + 1);
        } else {
            char temp[MAX_PATH];
            ::GetTempPathA(MAX_PATH, temp);
            base = temp;
        }
        if (base.back() != '\\')
            base += '\\';
        const unsigned start = ::GetTickCount();
        for (unsigned attempt = start; attempt < start + 100; ++attempt) {
            m_path = base + "tarvik-e2e-" + std::to_string(attempt);
            if (::CreateDirectoryA(m_path.c_str(), nullptr))
                return;
        }
        REQUIRE(!"no work folder could be made");
    }
    ~WorkFolder() { removeTree(m_path); }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    std::string operator/(const std::string& name) const { return m_path + '\\' + name; }
    const std::string& path() const { return m_path; }

  private:
    static void removeTree(const std::string& folder)
    {
        WIN32_FIND_DATAA entry;
        HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = entry.cFileName;
                if (name == "." || name == "..")
                    continue;
                const std::string path = folder + '\\' + name;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    removeTree(path);
                else
                    ::DeleteFileA(path.c_str());
            } while (::FindNextFileA(search, &entry));
            ::FindClose(search);
        }
        ::RemoveDirectoryA(folder.c_str());
    }

    std::string m_path;
};

void makeFile(const std::string& path, const std::string& text, bool old)
{
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    if (old) {
        const SYSTEMTIME longAgo{2020, 3, 0, 15, 12, 0, 0, 0};
        FILETIME stamp;
        ::SystemTimeToFileTime(&longAgo, &stamp);
        ::SetFileTime(file, &stamp, &stamp, &stamp);
    }
    ::CloseHandle(file);
}

// A source folder as the tests use it: two files changed today, one long ago,
// and a sub-folder.
void makeSource(const std::string& folder)
{
    REQUIRE(::CreateDirectoryA(folder.c_str(), nullptr));
    REQUIRE(::CreateDirectoryA((folder + "\\sub").c_str(), nullptr));
    makeFile(folder + "\\new.txt", "new text of " + folder, false);
    makeFile(folder + "\\new.doc", "new doc", false);
    makeFile(folder + "\\old.txt", "old text", true);
    makeFile(folder + "\\sub\\deep.txt", "deep", false);
}

// Every file under `folder`, as paths relative to it, sorted.
void listFiles(const std::string& folder, const std::string& prefix, std::vector<std::string>& out)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            listFiles(folder + '\\' + name, prefix + name + '\\', out);
        else
            out.push_back(prefix + name);
    } while (::FindNextFileA(search, &entry));
    ::FindClose(search);
}

std::string filesUnder(const std::string& folder)
{
    std::vector<std::string> files;
    listFiles(folder, "", files);
    std::sort(files.begin(), files.end());
    return testfiles::joined(files);
}

bool commandInterpreterRunning()
{
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32 process{};
    process.dwSize = sizeof process;
    bool running = false;
    for (BOOL more = ::Process32First(snapshot, &process); more && !running;
         more = ::Process32Next(snapshot, &process))
        running = ::lstrcmpiA(process.szExeFile, "cmd.exe") == 0 ||
                  ::lstrcmpiA(process.szExeFile, "xcopy.exe") == 0;
    ::CloseHandle(snapshot);
    return running;
}

// The program does not wait for the script; the test does: until the script
// has made its first folder and no command interpreter is left, for at most a
// minute.
bool waitForScript(const std::string& firstFolder)
{
    const ULONGLONG deadline = ::GetTickCount64() + 60'000;
    while (::GetTickCount64() < deadline) {
        if (platform::directoryExists(firstFolder) && !commandInterpreterRunning())
            return true;
        ::Sleep(50);
    }
    return false;
}

std::string expectedFiles(const std::vector<std::string>& leaves, bool withDocs, bool withSub)
{
    std::vector<std::string> files;
    for (const auto& leaf : leaves) {
        if (withDocs)
            files.push_back(leaf + "\\new.doc");
        files.push_back(leaf + "\\new.txt");
        if (withSub)
            files.push_back(leaf + "\\sub\\deep.txt");
    }
    std::sort(files.begin(), files.end());
    return testfiles::joined(files);
}

} // namespace

TEST_CASE(theShellRunsTheScriptAndTheInterpreterMakesTheBackupTree)
{
    // Names the command interpreter would split or act on unless the script
    // quotes them, and one it must not touch.
    const std::vector<std::string> leaves = {"Plain", "With Blank", "Tom&Jerry", "100%",
                                             "x(1),y;z=2"};
    struct Row
    {
        const char* name;
        std::vector<std::string> fileTypes;
        bool subDirectories;
        bool withDocs;
    };
    const Row rows[] = {
        {"text files with sub-folders", {"*.txt"}, true, false},
        {"all files, no sub-folders", {}, false, true},
        // A type before the marker would copy its files twice; the second copy
        // would wait at an overwrite question that no one answers.
        {"marker first", {"All", "*.txt"}, false, true},
    };
    const platform::CivilDate today = platform::native().today();
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        WorkFolder work;
        REQUIRE(::CreateDirectoryA((work / "Src").c_str(), nullptr));
        REQUIRE(::CreateDirectoryA((work / "Backups").c_str(), nullptr));
        BackupJob job{work / "Backups", {}, row.fileTypes, row.subDirectories, today};
        for (const auto& leaf : leaves) {
            makeSource(work / "Src\\" + leaf);
            job.sourceDirectories.push_back(work / "Src\\" + leaf);
        }
        job.sourceDirectories.push_back(work / "Src\\Missing");

        BackupRun run;
        run.RunBackup(job, nullptr);
        const std::string folder = backupFolder(job);
        REQUIRE(waitForScript(folder));

        CHECK_EQ(filesUnder(folder), expectedFiles(leaves, row.withDocs, row.subDirectories));
        CHECK_EQ(testfiles::readFile(folder + "\\With Blank\\new.txt"),
                 "new text of " + work / "Src\\With Blank");
        CHECK(platform::fileExists(run.ScriptFileName()));
        run.deleteScript();
        CHECK(!platform::fileExists(run.ScriptFileName()));
    }
}

// Until `done` holds, for at most a minute.
template <typename Condition> bool within(Condition done)
{
    const ULONGLONG deadline = ::GetTickCount64() + 60'000;
    while (!done()) {
        if (::GetTickCount64() >= deadline)
            return false;
        ::Sleep(20);
    }
    return true;
}

// The system's cmd reads a script by name while it runs it. Meanwhile the
// script is held against change and deletion, a run is refused at once
// instead of waiting, and the window's end leaves the script; once the
// interpreter has ended, it can go.
TEST_CASE(aRunningScriptIsHeldButNeverAwaited)
{
    WorkFolder work;
    // Runs until the test lets it go, then leaves a mark as its last act.
    const std::string script = work / "long.bat";
    makeFile(script,
             "@echo off\r\necho started> \"" + work / "started.txt" +
                 "\"\r\n:wait\r\nif not exist \"" + work / "go.txt" +
                 "\" goto wait\r\necho done> \"" + work / "done.txt" + "\"\r\n",
             false);
    platform::System& system = platform::native();
    system.shellExecute(nullptr, "open", script.c_str(), nullptr, nullptr, platform::ShowNormal);
    REQUIRE(within([&] { return platform::fileExists(work / "started.txt"); }));

    CHECK(system.scriptRunning());
    CHECK(!platform::deleteFile(script));
    HANDLE writer = ::CreateFileA(script.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(writer == INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE)
        ::CloseHandle(writer);

    REQUIRE(::CreateDirectoryA((work / "Backups").c_str(), nullptr));
    makeSource(work / "Src");
    const BackupJob job{work / "Backups", {work / "Src"}, {}, true, platform::native().today()};
    BackupRun run;
    const ULONGLONG before = ::GetTickCount64();
    try {
        run.RunBackup(job, nullptr);
        CHECK(false);
    } catch (const RunRefused& refused) {
        CHECK_EQ(std::string(refused.what()), std::string(kStillRunning));
    }
    CHECK(::GetTickCount64() - before < 5'000);
    CHECK(!platform::directoryExists(backupFolder(job)));

    makeFile(work / "go.txt", "", false);
    REQUIRE(within([&] { return !system.scriptRunning(); }));
    CHECK(platform::fileExists(work / "done.txt"));
    CHECK(platform::deleteFile(script));

    // A run's own script: kept while the backup runs, deleted once it is over.
    run.RunBackup(job, nullptr);
    REQUIRE(within([&] { return !system.scriptRunning(); }));
    run.deleteScript();
    CHECK(!platform::fileExists(run.ScriptFileName()));
    CHECK_EQ(filesUnder(backupFolder(job)), "Src\\new.doc|Src\\new.txt|Src\\sub\\deep.txt|");
}

// A script the program wrote is run only as it wrote it: one that another
// program has written to, put in its place, holds open for writing or deleted
// runs nothing, and the user is told.
TEST_CASE(aScriptNotAsTheProgramWroteItIsNotRun)
{
    struct Row
    {
        const char* name;
        // Does it to the script; returns a handle to close once the run was asked for.
        HANDLE (*meddle)(const std::string& script);
        const char* error; // nullptr: the script runs
    };
    const Row rows[] = {
        {"left alone", [](const std::string&) { return INVALID_HANDLE_VALUE; }, nullptr},
        {"written to",
         [](const std::string& script) {
             HANDLE file = ::CreateFileA(script.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
             DWORD written = 0;
             ::WriteFile(file, "REM", 3, &written, nullptr);
             ::CloseHandle(file);
             return INVALID_HANDLE_VALUE;
         },
         "is not the file the program wrote; nothing was run."},
        {"put in its place",
         [](const std::string& script) {
             ::DeleteFileA(script.c_str());
             makeFile(script, "@echo off\r\n", false);
             return INVALID_HANDLE_VALUE;
         },
         "is not the file the program wrote; nothing was run."},
        {"open for writing",
         [](const std::string& script) {
             return ::CreateFileA(script.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
         },
         "is open in another program; nothing was run."},
        {"deleted",
         [](const std::string& script) {
             ::DeleteFileA(script.c_str());
             return INVALID_HANDLE_VALUE;
         },
         "is gone; nothing was run."},
    };
    platform::System& system = platform::native();
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        WorkFolder work;
        const std::string script = work / "backup.bat";
        platform::TextFile file;
        REQUIRE(file.createNew(script) == platform::fileCode::Ok);
        file.writeLine("MD \"" + work / "made" + "\"");
        REQUIRE(file.close() == platform::fileCode::Ok);

        HANDLE meddler = row.meddle(script);
        std::string error;
        try {
            system.shellExecute(nullptr, "open", script.c_str(), nullptr, nullptr,
                                platform::ShowNormal);
        } catch (const std::runtime_error& refused) {
            error = refused.what();
        }
        if (meddler != INVALID_HANDLE_VALUE)
            ::CloseHandle(meddler);
        if (row.error) {
            CHECK_EQ(error, "The backup script " + script + " " + row.error);
        } else {
            CHECK_EQ(error, std::string());
            CHECK(within([&] { return platform::directoryExists(work / "made"); }));
        }
        REQUIRE(within([&] { return !system.scriptRunning(); }));
    }
}

TEST_CASE(consoleTextKeepsEveryLetterOrRefusesTheText)
{
    const auto inCodePage = [](UINT codePage, const std::string& text) {
        std::wstring wide(text.size(), L'\0');
        const int length =
            ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                  wide.data(), static_cast<int>(wide.size()));
        wide.resize(static_cast<size_t>(length > 0 ? length : 0));
        return wide;
    };
    struct Row
    {
        const char* name;
        std::string ansi;
        bool representable;
    };
    const Row rows[] = {
        {"ASCII", "xcopy \"C:\\A&B\\*.*\" D:\\Backups /D:12-6-2026", true},
        {"empty", "", true},
        {"umlauts and accents",
         "MD Z:\\B\xE4"
         "ckup-\xC9"
         "t\xE9",
         true},
        {"a letter the console lacks",
         "MD Z:\\\x8A"
         "abac",
         false},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        const auto console = platform::toConsoleCodePage(row.ansi);
        CHECK_EQ(console.has_value(), row.representable);
        if (console) {
            CHECK(inCodePage(CP_OEMCP, *console) == inCodePage(CP_ACP, row.ansi));
            CHECK_EQ(console->size(), row.ansi.size());
        }
    }
}

// Pairs of code pages a machine may have, this one's or not: a console set to
// UTF-8 spells every letter.
TEST_CASE(consoleTextInOtherCodePages)
{
    struct Row
    {
        const char* name;
        unsigned from, to;
        std::string text;
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        {"ASCII to UTF-8", 1252, CP_UTF8, "D:\\Backups\\", "D:\\Backups\\"},
        {"an umlaut to UTF-8", 1252, CP_UTF8, "B\xE4", "B\xC3\xA4"},
        {"a letter DOS lacks, to UTF-8", 1252, CP_UTF8, "\x8A", "\xC5\xA0"},
        {"an umlaut to DOS", 1252, 437, "B\xE4", "B\x84"},
        {"a letter DOS lacks", 1252, 437, "\x8A", std::nullopt},
        {"broken UTF-8", CP_UTF8, CP_UTF8, "\xC3(", std::nullopt},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.name);
        CHECK(platform::convertCodePage(row.text, row.from, row.to) == row.expected);
    }
}

TEST_CASE(aFolderWithNonAsciiLettersIsFoundFromTheScriptTheRunWrites)
{
    WorkFolder work;
    const std::string leaf = "B\xE4"
                             "ckup-\xC9"
                             "t\xE9";
    REQUIRE(::CreateDirectoryA((work / "Src").c_str(), nullptr));
    REQUIRE(::CreateDirectoryA((work / "Backups").c_str(), nullptr));
    makeSource(work / "Src\\" + leaf);
    const BackupJob job{
        work / "Backups", {work / "Src\\" + leaf}, {}, true, platform::native().today()};

    BackupRun run;
    run.RunBackup(job, nullptr);
    const std::string folder = backupFolder(job);
    REQUIRE(waitForScript(folder));
    CHECK_EQ(filesUnder(folder), expectedFiles({leaf}, true, true));
    run.deleteScript();
}

TEST_CASE(aFolderNameTheConsoleCannotSpellStopsTheRunBeforeTheScript)
{
    WorkFolder work;
    REQUIRE(::CreateDirectoryA((work / "Backups").c_str(), nullptr));
    const std::string folder = work / "Src\\\x8A"
                                      "abac";
    // Only a folder that gets a line is checked.
    REQUIRE(::CreateDirectoryA((work / "Src").c_str(), nullptr));
    makeSource(folder);
    const BackupJob job{work / "Backups", {folder}, {}, false, platform::native().today()};

    BackupRun run;
    CHECK_THROWS_WITH(UnsafeScriptText, run.RunBackup(job, nullptr),
                      "The source directory \"" + folder +
                          "\" contains a letter the command interpreter cannot read and cannot "
                          "be written into the backup script");
    CHECK(!platform::fileExists(scriptFileName(job)));
}
