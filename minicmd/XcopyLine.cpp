#include "minicmd/XcopyLine.h"

#include "minicmd/Console.h"
#include "minicmd/CopyQueue.h"
#include "minicmd/CopyRange.h"
#include "minicmd/FileCopy.h"
#include "minicmd/Folders.h"
#include "minicmd/Leftovers.h"
#include "minicmd/TargetRecord.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tarvik::minicmd {
namespace {

// Larger files are copied by the walk itself, one at a time: their time is
// the data's, which overlapping their create and close with other files'
// hardly shortens, and the progress line follows them as they go.
constexpr off_t kQueuedSize = 1 << 20;

} // namespace

bool XcopyLine::start()
{
    std::string refusal = cyclicRefusal();
    if (refusal.empty() && m_folders)
        refusal = m_folders->refusalFor(m_request.destination);
    if (refusal.empty())
        refusal = m_destinations.refusal();
    // A target folder the script made belongs to one source only.
    m_target = m_folders && m_folders->vouchedFor(m_request.destination);
    if (refusal.empty() && m_target)
        refusal =
            claimTarget(resolvedPath(m_request.destination), resolvedPath(m_request.sourceFolder));
    if (refusal.empty())
        return true;
    m_out.error(refusal);
    ++m_failures;
    return false;
}

void XcopyLine::sourceRoot(const SourceFolder& source) const
{
    if (m_target)
        m_destinations.keepNoMoreOpenThan(source);
}

void XcopyLine::finish(bool walked)
{
    if (walked && !m_matchedAny && m_failures == 0)
        m_out.line("File not found - " + m_request.mask);
    m_out.line(std::to_string(m_copied) + " File(s) copied");
}

void XcopyLine::catchUp()
{
    if (m_queue)
        m_queue->drain();
}

void XcopyLine::fail(const std::string& what, int code)
{
    catchUp();
    m_out.error(what + ": " + std::strerror(code));
    ++m_failures;
}

void XcopyLine::failWith(const std::string& message)
{
    catchUp();
    m_out.error(message);
    ++m_failures;
}

void XcopyLine::leaveFolder()
{
    m_destination = {};
    m_destinationFailed = 0;
}

void XcopyLine::take(int folderFd, const std::string& relative, const std::string& name,
                     const struct stat& info, const std::string& sourcePath,
                     const std::vector<SourceFolder>& folderModes, int& sharedTarget)
{
    m_matchedAny = true;
    if (m_request.since && info.st_mtime < *m_request.since) {
        m_out.leftOut();
        return;
    }
    // The temporary file of a copy (ours or a concurrent run's) is none
    // of the user's; a file of only that name is left out, and said.
    if (isTemporaryName(name)) {
        failWith("Skipped " + sourcePath + ": named like a temporary file of a copy");
        return;
    }
    const std::string destinationFolder = joinPath(m_request.destination, relative);
    if (m_destination.get() < 0) {
        // A folder that cannot be made fails every file meant for it;
        // the reason is told once, each file is named. A refused folder
        // is named once, and nothing goes into it.
        if (m_destinationFailed < 0)
            return;
        if (m_destinationFailed != 0) {
            fail("Cannot write " + joinPath(destinationFolder, name), m_destinationFailed);
            return;
        }
        // Where an earlier line of the walk opened the target, this line
        // would open the same folder the same way.
        if (sharedTarget >= 0)
            m_destination = SharedFd(::fcntl(sharedTarget, F_DUPFD_CLOEXEC, 0));
    }
    if (m_destination.get() < 0) {
        const OpenedFolder opened = m_destinations.open(relative, folderModes);
        if (!opened.refusal.empty()) {
            if (!opened.quiet)
                failWith(opened.refusal);
            m_destinationFailed = -1;
            return;
        }
        if (opened.fd < 0) {
            fail("Cannot create folder " + destinationFolder, opened.code);
            m_destinationFailed = opened.code;
            return;
        }
        m_destination = SharedFd(opened.fd);
        if (sharedTarget < 0)
            sharedTarget = ::fcntl(opened.fd, F_DUPFD_CLOEXEC, 0);
    }
    copyOne(folderFd, name, info, sourcePath, destinationFolder);
}

std::string XcopyLine::cyclicRefusal() const
{
    const std::string source = resolvedPath(m_request.sourceFolder);
    const std::string destination = resolvedPath(m_request.destination);
    if (source.empty() || destination.empty())
        return {};
    if (destination == source)
        return "File cannot be copied onto itself";
    if (m_request.subfolders && (source == "/" || destination.starts_with(source + "/")))
        return "Cannot perform a cyclic copy";
    return {};
}

void XcopyLine::copyOne(int folderFd, const std::string& name, const struct stat& info,
                        const std::string& sourcePath, const std::string& destinationFolder)
{
    const std::string destinationPath = joinPath(destinationFolder, name);
    if (m_out.interactive() && !m_overwriteAll) {
        struct stat existing
        {};
        if (::fstatat(m_destination.get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
            catchUp();
            const OverwriteAnswer answer = m_out.askOverwrite(destinationPath);
            if (answer == OverwriteAnswer::No)
                return;
            if (answer == OverwriteAnswer::All)
                m_overwriteAll = true;
        }
    }
    const int source =
        ::openat(folderFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (source < 0) {
        fail("Cannot read " + sourcePath, errno);
        return;
    }
    m_out.copying(sourcePath, static_cast<std::uint64_t>(info.st_size));
    // A copy handed over may still be in flight when the walk has left its
    // folder: it holds the target and its place in the record.
    if (m_queue && info.st_size <= kQueuedSize) {
        readAheadWhileUncached(source, info.st_size);
        auto job = std::make_unique<CopyQueue::Job>();
        job->source = source;
        job->info = info;
        job->folder = m_destination;
        job->folderHold = holdCopyFolder();
        job->name = name;
        job->done = [this, sourcePath, destinationPath](const CopyQueue::Job& done) {
            tell(done.failure, done.copied, sourcePath, destinationPath);
        };
        m_queue->submit(std::move(job));
        return;
    }
    catchUp();
    CopiedFile copied;
    const CopyFailure failure = copyFileInto(
        source, info, m_destination.get(), name,
        [this](std::uint64_t done) { m_out.progress(done); }, &copied, m_destination.filesGroup());
    ::close(source);
    tell(failure, copied, sourcePath, destinationPath);
}

void XcopyLine::tell(const CopyFailure& failure, const CopiedFile& copied,
                     const std::string& sourcePath, const std::string& destinationPath)
{
    if (failure) {
        if (failure.changed)
            m_out.error("Cannot copy " + sourcePath + ": " + failure.reason);
        else
            m_out.error("Cannot " + std::string(failure.reading ? "read " : "write ") +
                        (failure.reading ? sourcePath : destinationPath) + ": " + failure.reason);
        ++m_failures;
        return;
    }
    ++m_copied;
    m_out.line(sourcePath);
    m_out.copied(destinationPath, copied, sourcePath.substr(0, sourcePath.rfind('/')));
}

} // namespace tarvik::minicmd
