#include "BackupScript.h"

#include <initializer_list>

namespace tarvik {
namespace {

bool needsQuotes(std::string_view piece)
{
    return piece.find_first_of(" \t&|<>^(),;=") != std::string_view::npos;
}

// Appends one command argument made of `pieces` joined with nothing between
// them, quoted and with % doubled as the rule in the header says.
void appendArgument(std::string& line, std::initializer_list<std::string_view> pieces)
{
    bool quoted = false;
    for (auto piece : pieces)
        quoted = quoted || needsQuotes(piece);
    if (quoted)
        line += '"';
    for (auto piece : pieces) {
        for (auto percent = piece.find('%'); percent != std::string_view::npos;
             percent = piece.find('%')) {
            line.append(piece.substr(0, percent + 1));
            line += '%';
            piece.remove_prefix(percent + 1);
        }
        line.append(piece);
    }
    if (quoted)
        line += '"';
}

void refuseUnsafe(const std::string& text, const char* role)
{
    const char* problem = nullptr;
    if (text.find('"') != std::string::npos)
        problem = "a double quote";
    else if (text.find_first_of("\r\n") != std::string::npos)
        problem = "a line break";
    if (problem) {
        throw UnsafeScriptText(std::string(role) + " \"" + text + "\" contains " + problem +
                                   " and cannot be written into the backup script",
                               text);
    }
}

} // namespace

UnsafeScriptText::UnsafeScriptText(const std::string& what, std::string text)
    : std::runtime_error(what), m_text(std::move(text))
{}

bool isWholeDirectoryMarker(std::string_view fileType)
{
    return fileType == "All" || fileType == "*.*";
}

void checkScriptTexts(const BackupJob& job)
{
    refuseUnsafe(job.backupDirectory, "The backup directory");
    for (const auto& directory : job.sourceDirectories)
        refuseUnsafe(directory, "The source directory");
    for (const auto& type : job.fileTypes)
        refuseUnsafe(type, "The file type");
}

std::string backupFolder(const BackupJob& job, char separator)
{
    return job.backupDirectory + separator + "BK-" + DateStamp(job.changesFrom);
}

std::string scriptFileName(const BackupJob& job, char separator)
{
    return job.backupDirectory + separator + "backup" + DateStamp(job.changesFrom) + ".bat";
}

void writeBackupScript(const BackupJob& job, const DirectoryTest& isDirectory, const LineSink& sink,
                       char separator)
{
    const std::string folder = backupFolder(job, separator);
    const std::string_view sep(&separator, 1);
    const std::string switches =
        (job.includeSubDirectories ? " /S /D:" : " /D:") + XcopyDateText(job.changesFrom);

    std::string line;
    line.reserve(256);
    line = "MD ";
    appendArgument(line, {folder});
    sink(line);

    // One copy line: xcopy <source><sep><mask> <target><switches>.
    const auto copyLine = [&](const std::string& source, std::string_view mask,
                              std::string_view leaf) {
        line.assign("xcopy ");
        appendArgument(line, {source, sep, mask});
        line += ' ';
        appendArgument(line, {folder, sep, leaf});
        line += switches;
        sink(line);
    };

    for (const auto& source : job.sourceDirectories) {
        if (!isDirectory(source))
            continue;
        const std::string leaf = LastPathComponent(source, separator);
        line.assign("MD ");
        appendArgument(line, {folder, sep, leaf});
        sink(line);
        if (job.fileTypes.empty())
            copyLine(source, "*.*", leaf);
        for (const auto& type : job.fileTypes) {
            if (isWholeDirectoryMarker(type)) {
                copyLine(source, "*.*", leaf);
                break;
            }
            copyLine(source, type, leaf);
        }
    }
}

std::vector<std::string> BackupScriptLines(const BackupJob& job, const DirectoryTest& isDirectory,
                                           char separator)
{
    std::vector<std::string> lines;
    writeBackupScript(
        job, isDirectory, [&](std::string_view line) { lines.emplace_back(line); }, separator);
    return lines;
}

std::string BackupScript(const BackupJob& job, const DirectoryTest& isDirectory, char separator)
{
    std::string script;
    writeBackupScript(
        job, isDirectory,
        [&](std::string_view line) {
            script += line;
            script += "\r\n";
        },
        separator);
    return script;
}

} // namespace tarvik
