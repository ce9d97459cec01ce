#include "core/BackupScript.h"

#include "platform/ConsoleText.h"
#include "platform/FileSystem.h"

#include <initializer_list>
#include <unordered_map>
#include <unordered_set>

namespace tarvik {
namespace {

bool needsQuotes(std::string_view piece)
{
    return piece.find_first_of(" \t&|<>^(),;=") != std::string_view::npos;
}

// A piece of an argument with every % doubled, and whether it forces quotes.
struct Piece
{
    std::string text;
    bool quote;
};

Piece escaped(std::string_view piece)
{
    Piece result{std::string(), needsQuotes(piece)};
    result.text.reserve(piece.size());
    for (char c : piece) {
        result.text += c;
        if (c == '%')
            result.text += '%';
    }
    return result;
}

// Appends one command argument made of `pieces` joined with nothing between
// them, inside double quotes when any piece needs them.
void appendArgument(std::string& line, std::initializer_list<const Piece*> pieces, char separator)
{
    bool quoted = false;
    for (const Piece* piece : pieces)
        quoted = quoted || piece->quote;
    if (quoted)
        line += '"';
    for (const Piece* piece : pieces)
        line += piece->text;
    if (quoted) {
        // A folder written with its trailing separator (a root source's empty
        // leaf) is the same folder without it; inside quotes the backslash
        // would escape the closing quote for programs that split their command
        // line by the C run-time's rules. Where the separator is another
        // letter, a backslash is part of a name, and the stand-in interpreter
        // reads it as such.
        if (separator == '\\' && line.back() == '\\')
            line.pop_back();
        line += '"';
    }
}

void refuseUnsafe(const std::string& text, const char* role)
{
    const char* problem = nullptr;
    if (text.find('"') != std::string::npos)
        problem = "a double quote";
    else if (text.find_first_of("\r\n") != std::string::npos)
        problem = "a line break";
    else if (!platform::toConsoleCodePage(text))
        problem = "a letter the command interpreter cannot read";
    if (problem) {
        throw UnsafeScriptText(std::string(role) + " \"" + text + "\" contains " + problem +
                                   " and cannot be written into the backup script",
                               text);
    }
}

// The target folders' names already taken in one script. Windows folder
// names match without regard to letter case, so "Docs" and "docs" are one,
// and so are "\xDCbung" and "\xFCbung" (in code page 1252).
class TakenNames
{
  public:
    explicit TakenNames(char separator) : m_foldCase(separator == '\\') {}

    // `leaf`, or `leaf` followed by " (2)", " (3)" ... when an earlier source
    // has taken it.
    std::string take(const std::string& leaf)
    {
        std::string key = folded(leaf);
        if (m_taken.insert(key).second)
            return leaf;
        // Each name goes on from the number it got to, so a thousand sources
        // of one name cost a thousand tries, not half a million.
        int& number = m_next.try_emplace(std::move(key), 2).first->second;
        for (;; ++number) {
            std::string name = leaf + " (" + std::to_string(number) + ")";
            if (m_taken.insert(folded(name)).second) {
                ++number;
                return name;
            }
        }
    }

  private:
    std::string folded(const std::string& name) const
    {
        return m_foldCase ? platform::windowsNameKey(name) : name;
    }

    bool m_foldCase;
    std::unordered_set<std::string> m_taken;
    std::unordered_map<std::string, int> m_next;
};

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
    if (job.sourceDirectories.empty())
        return;
    for (const auto& type : job.fileTypes) {
        refuseUnsafe(type, "The file type");
        if (isWholeDirectoryMarker(type))
            break;
    }
}

std::string backupFolder(const BackupJob& job, char separator)
{
    return job.backupDirectory + separator + "BK-" + DateStamp(job.changesFrom);
}

std::string scriptFileName(const BackupJob& job, char separator)
{
    return job.backupDirectory + separator + "backup" + DateStamp(job.changesFrom) + ".bat";
}

// Every piece is escaped once per run, not once per line: a script may hold
// a hundred thousand lines.
void writeBackupScript(const BackupJob& job, const DirectoryTest& isDirectory, const LineSink& sink,
                       char separator)
{
    const Piece folder = escaped(backupFolder(job, separator));
    const Piece sep = escaped(std::string_view(&separator, 1));
    const Piece everyFile = escaped("*.*");
    const std::string switches =
        (job.includeSubDirectories ? " /S /D:" : " /D:") + XcopyDateText(job.changesFrom);
    std::vector<Piece> types;
    types.reserve(job.fileTypes.size());
    for (const auto& type : job.fileTypes)
        types.push_back(escaped(type));

    std::string line = "MD ";
    appendArgument(line, {&folder}, separator);
    sink(line);

    // Two sources never share a target folder: a file of the same name in
    // both would leave only one of them in the backup.
    TakenNames taken(separator);

    for (const auto& sourceText : job.sourceDirectories) {
        // A missing source keeps its name reserved: were its drive unplugged
        // today, the next source of that name would otherwise copy into the
        // folder it filled on an earlier run.
        std::string name = taken.take(LastPathComponent(sourceText, separator));
        if (!isDirectory(sourceText))
            continue;
        const Piece source = escaped(sourceText);
        const Piece leaf = escaped(name);
        std::string target;
        appendArgument(target, {&folder, &sep, &leaf}, separator);
        line.assign("MD ").append(target);
        sink(line);

        // xcopy <source><sep><mask> <target><switches>
        const auto copyLine = [&](const Piece& mask) {
            line.assign("xcopy ");
            appendArgument(line, {&source, &sep, &mask}, separator);
            line.append(1, ' ').append(target).append(switches);
            sink(line);
        };
        if (job.fileTypes.empty())
            copyLine(everyFile);
        for (std::size_t i = 0; i < types.size(); ++i) {
            if (isWholeDirectoryMarker(job.fileTypes[i])) {
                copyLine(everyFile);
                break;
            }
            copyLine(types[i]);
        }
    }
}

} // namespace tarvik
