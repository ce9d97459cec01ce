#include "minicmd/RunChecks.h"

#include "minicmd/Console.h"
#include "minicmd/Folders.h"
#include "minicmd/RunHistory.h"
#include "minicmd/RunLog.h"
#include "minicmd/VisibleText.h"
#include "minicmd/Xcopy.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

constexpr const char* kSourcesName = "sources.tsv";

// When the last run that copied each source folder started, by the folder's
// resolved path.
std::map<std::string, std::time_t> readCoverage(const std::string& records)
{
    std::map<std::string, std::time_t> covered;
    const int fd = records.empty() ? -1 : openRecordFile(records + "/" + kSourcesName, O_RDONLY);
    if (fd < 0)
        return covered;
    const std::string text = readTail(fd, 1 << 20);
    ::close(fd);
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string_view line = std::string_view(text).substr(at, end - at);
        const std::size_t tab = line.find('\t');
        long long when = 0;
        if (tab != std::string_view::npos &&
            std::sscanf(std::string(line.substr(0, tab)).c_str(), "%lld", &when) == 1)
            covered[decoded(line.substr(tab + 1))] = static_cast<std::time_t>(when);
    }
    return covered;
}

std::string dayText(std::time_t when)
{
    return localTimeText(when).substr(0, 10);
}

} // namespace

RunChecks::RunChecks(std::vector<std::string> missing, std::string records, std::time_t started)
    : m_missing(std::move(missing)), m_records(std::move(records)), m_started(started)
{}

void RunChecks::start(Console& console)
{
    for (const std::string& folder : m_missing)
        console.warning("Folder not found, not backed up: " + folder);
}

XcopyWatch RunChecks::watch(Console& console)
{
    XcopyWatch watch;
    watch.before = [this, &console](const XcopyRequest& request) {
        ++m_xcopies;
        if (!request.since)
            return;
        const std::string source = resolvedPath(request.sourceFolder);
        if (!m_coverage)
            m_coverage = readCoverage(m_records);
        const auto found = m_coverage->find(source);
        // One line per folder, however many file types it is copied for.
        if (found == m_coverage->end() || found->second >= *request.since ||
            !m_gapTold.insert(source).second)
            return;
        console.warning("Not in any backup: files changed between " + localTimeText(found->second) +
                        " and " + localTimeText(*request.since) +
                        "; to include them, run once with Changes From " + dayText(found->second) +
                        ".");
    };
    watch.after = [this](const XcopyRequest& request, int failures, bool matched) {
        auto [mask, added] = m_masks.try_emplace(request.mask);
        if (added)
            m_order.push_back(request.mask);
        mask->second.matched = mask->second.matched || matched;
        mask->second.failures += failures;
        m_sourceFailures[resolvedPath(request.sourceFolder)] += failures;
    };
    return watch;
}

int RunChecks::finish(Console& console)
{
    for (const std::string& name : m_order)
        if (const Mask& mask = m_masks[name]; !mask.matched && mask.failures == 0)
            console.warning("No file matched " + name + " in any source folder.");
    if (m_missing.empty() || m_xcopies > 0)
        return 0;
    console.error("Nothing was backed up: none of the source folders exists.");
    return 1;
}

void RunChecks::recordCoverage() const
{
    if (m_records.empty() || m_sourceFailures.empty())
        return;
    // Runs that end together take turns, each adding to what the other wrote.
    if (const FolderLock lock(m_records); lock.held())
        writeCoverage();
}

void RunChecks::writeCoverage() const
{
    std::map<std::string, std::time_t> covered = readCoverage(m_records);
    for (const auto& [folder, failures] : m_sourceFailures)
        if (!folder.empty() && failures == 0)
            covered[folder] = m_started;
    std::string text;
    for (const auto& [folder, when] : covered)
        text += std::to_string(static_cast<long long>(when)) + "\t" + encoded(folder) + "\n";
    const std::string path = m_records + "/" + kSourcesName;
    const std::string temporary = path + ".new";
    ::unlink(temporary.c_str());
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (::close(fd) == 0 && written)
        ::rename(temporary.c_str(), path.c_str());
    else
        ::unlink(temporary.c_str());
}

} // namespace tarvik::minicmd
