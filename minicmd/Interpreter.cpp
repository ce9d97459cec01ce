#include "minicmd/Interpreter.h"

#include "minicmd/CommandLine.h"
#include "minicmd/Console.h"
#include "minicmd/Folders.h"
#include "minicmd/Interruption.h"
#include "minicmd/Xcopy.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string prompt()
{
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) + ">" : std::string(">");
}

int makeFolders(const std::vector<std::string>& paths, Console& console, ScriptFolders& folders)
{
    if (paths.empty()) {
        console.error("The syntax of the command is incorrect.");
        return 1;
    }
    int failures = 0;
    for (const std::string& path : paths) {
        // Below a refused folder its owner could swap anything we make.
        if (const std::string refusal = folders.refusalFor(path); !refusal.empty()) {
            console.error(refusal);
            ++failures;
            continue;
        }
        // Below a folder made or found earlier, only as long as it is that folder.
        const FolderBase base = folders.baseFor(path);
        if (!base.refusal().empty()) {
            console.error(base.refusal());
            folders.refuse(path, base.refusal());
            ++failures;
            continue;
        }
        const auto status = [&base](struct stat& info) {
            return ::fstatat(base.fd(), base.relative().c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
        };
        struct stat info
        {};
        if (status(info)) {
            if (S_ISDIR(info.st_mode) || S_ISLNK(info.st_mode)) {
                if (const std::string refusal = foreignFolderRefusal(info, path);
                    !refusal.empty()) {
                    console.error(refusal);
                    folders.refuse(path, refusal);
                    ++failures;
                    continue;
                }
            }
            // Only a file in the folder's place is a failure: the folder the
            // script wants is there otherwise.
            const std::string said = "A subdirectory or file " + path + " already exists.";
            if (S_ISDIR(info.st_mode)) {
                console.line(said);
                folders.vouch(path, info);
            } else {
                console.error(said);
                ++failures;
            }
            continue;
        }
        int code = ensureFolder(base.relative(), base.fd());
        if (code == 0 && !status(info))
            code = errno;
        if (code != 0) {
            console.error("Cannot create folder " + path + ": " + std::strerror(code));
            ++failures;
        } else if (const std::string refusal = foreignFolderRefusal(info, path); !refusal.empty()) {
            // Someone was quicker, with a link or a folder of their own.
            console.error(refusal);
            folders.refuse(path, refusal);
            ++failures;
        } else {
            folders.vouch(path, info);
        }
    }
    return failures;
}

// The copy a line asks for, when it is an xcopy line that can be run.
std::optional<XcopyRequest> xcopyOf(std::string_view line)
{
    const ParsedLine parsed = parseCommandLine(line);
    if (!parsed.refusal.empty() || parsed.words.empty() || upper(parsed.words.front()) != "XCOPY")
        return std::nullopt;
    auto request = parseXcopy({parsed.words.begin() + 1, parsed.words.end()});
    if (auto* xcopy = std::get_if<XcopyRequest>(&request))
        return std::move(*xcopy);
    return std::nullopt;
}

// Runs `lines`, xcopy lines that share one walk, as if one after the other.
int runXcopyLines(const std::vector<std::string_view>& lines,
                  const std::vector<XcopyRequest>& requests, Console& console,
                  ScriptFolders& folders, const XcopyWatch& watch)
{
    int failures = 0;
    XcopyTurns turns;
    turns.start = [&](std::size_t index) {
        console.line("");
        console.line(prompt() + std::string(lines[index]));
        if (watch.before)
            watch.before(requests[index]);
    };
    turns.end = [&](std::size_t index, int failed, bool matched) {
        failures += failed;
        if (watch.after)
            watch.after(requests[index], failed, matched);
    };
    runXcopies(requests, console, &folders, turns);
    return failures;
}

int runLine(std::string_view line, Console& console, ScriptFolders& folders,
            const XcopyWatch& watch)
{
    if (std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; }))
        return 0;
    console.line("");
    console.line(prompt() + std::string(line));

    ParsedLine parsed = parseCommandLine(line);
    if (!parsed.refusal.empty()) {
        console.error(parsed.refusal);
        return 1;
    }
    if (parsed.words.empty())
        return 0;
    const std::string name = parsed.words.front();
    const std::vector<std::string> arguments(parsed.words.begin() + 1, parsed.words.end());
    const std::string command = upper(name);
    if (command == "MD" || command == "MKDIR")
        return makeFolders(arguments, console, folders);
    if (command == "XCOPY") {
        auto request = parseXcopy(arguments);
        if (const auto* refusal = std::get_if<std::string>(&request)) {
            console.error(*refusal);
            console.line("0 File(s) copied");
            return 1;
        }
        const XcopyRequest& xcopy = std::get<XcopyRequest>(request);
        if (watch.before)
            watch.before(xcopy);
        bool matched = false;
        const int failures = runXcopy(xcopy, console, &folders, &matched);
        if (watch.after)
            watch.after(xcopy, failures, matched);
        return failures;
    }
    console.error("'" + name +
                  "' is not recognized as an internal or external command, operable program or "
                  "batch file.");
    return 1;
}

} // namespace

int runLine(std::string_view line, Console& console, const XcopyWatch& watch)
{
    ScriptFolders folders;
    return runLine(line, console, folders, watch);
}

int runScript(std::string_view script, Console& console, const XcopyWatch& watch)
{
    int failures = 0;
    ScriptFolders folders;
    while (!script.empty() && !interruptingSignal()) {
        const auto end = script.find('\n');
        std::string_view line = script.substr(0, end);
        script = end == std::string_view::npos ? std::string_view() : script.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        // The lines that copy one folder's file types into one place in a
        // row read the folder once between them.
        std::vector<std::string_view> lines{line};
        std::vector<XcopyRequest> requests;
        if (auto first = xcopyOf(line))
            requests.push_back(std::move(*first));
        while (!requests.empty() && !script.empty()) {
            const auto end = script.find('\n');
            std::string_view next = script.substr(0, end);
            if (!next.empty() && next.back() == '\r')
                next.remove_suffix(1);
            auto request = xcopyOf(next);
            if (!request || !sharesWalk(requests.front(), *request))
                break;
            lines.push_back(next);
            requests.push_back(std::move(*request));
            script = end == std::string_view::npos ? std::string_view() : script.substr(end + 1);
        }
        if (requests.size() > 1)
            failures += runXcopyLines(lines, requests, console, folders, watch);
        else
            failures += runLine(line, console, folders, watch);
    }
    return failures;
}

} // namespace tarvik::minicmd
