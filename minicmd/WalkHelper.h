#pragma once
// What the walk of a source tree knows of a folder's entries before their
// turn, and the thread of the walk's own that finds it out ahead.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <utility>
#include <vector>

namespace tarvik::minicmd {

class XcopyLine;

struct Entry
{
    std::string name;
    unsigned char type;
};

// One stat per entry: a link is followed (a link to a file is copied as the
// file), anything else is looked at as it is. 0, or why it failed.
int statusOf(int folderFd, const Entry& entry, struct stat& info);

// What is known of an entry before its turn.
struct Sighting
{
    std::size_t matchesFrom = 0, matchesTo = 0; // its lines, in Look::matches
    bool wanted = false; // its status is needed: a line may take it, or it may be a folder
    int error = 0;
    struct stat info
    {};
};

// What is known of a batch of a folder's entries before their turn: the lines
// each matches and the status of each that needs one. The status calls are
// taken one at a time from a common count, by the walk and its helper alike,
// so that a helper kept waiting for a processor never keeps the walk waiting
// for more than the call in hand.
struct Look
{
    int folderFd = -1;
    const Entry* entries = nullptr;  // the batch's first
    std::vector<XcopyLine*> matches; // the lines each entry matches, in turn
    std::vector<Sighting> seen;      // one an entry of the batch
    std::vector<std::size_t> wanted; // the entries whose status is needed
    std::atomic<std::size_t> next = 0;

    void takeTurns();
};

// A folder opened and listed, its first batch looked at. A sub-folder is made
// ready this way by the walk's helper while the walk is busy with the one
// before it.
struct Listing
{
    int parentFd = -1; // of a sub-folder: its parent, open
    std::string name;  // of a sub-folder: its name there
    int fd = -1;       // the folder, once open
    int openError = 0; // why it could not be opened
    mode_t mode = 0755;
    gid_t group = gid_t(-1);
    std::vector<Entry> entries; // sorted
    bool listed = false;        // its names could be read, but for listError
    int listError = 0;
    Look first; // of its first entries

    // Between the walk and its helper, under the helper's lock.
    enum class Stage
    {
        Kept, // never handed over
        Queued,
        Listing,
        Listed
    } stage = Stage::Kept;
    bool helperHolds = false; // the helper is still at it
};

// A thread of the walk's own. On a tree of small files the walk is mostly
// listing folders and taking the status of every entry, and while few of them
// are copied the second processor has little else to do: the helper lists the
// next sub-folders while the walk is busy with the one before, and takes its
// share of the status calls of a large folder. It starts with the first work
// worth handing over.
class WalkHelper
{
  public:
    explicit WalkHelper(std::function<void(Listing&)> prepare) : m_prepare(std::move(prepare)) {}
    ~WalkHelper();
    WalkHelper(const WalkHelper&) = delete;
    WalkHelper& operator=(const WalkHelper&) = delete;

    // Hands `listing` over to be made ready before its turn.
    void post(Listing& listing);

    // Returns once `listing` is ready for its turn: made ready here when the
    // helper has not started on it, else with its status calls shared.
    void receive(Listing& listing);

    // Takes `listing` back before its turn; returns once the helper let go
    // of it.
    void withdraw(Listing& listing);

    // Takes the status calls of `look`, shared with the helper when there are
    // enough of them: for a few dozen, the wake and the wait for it cost more
    // than half the calls.
    void share(Look& look);

  private:
    void start();
    void run();

    const std::function<void(Listing&)> m_prepare;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Listing*> m_queue; // listings to make ready, in the order handed over
    Look* m_open = nullptr;       // the batch the walk is taking calls from, if any
    std::uint64_t m_opened = 0;   // counts the batches opened
    bool m_helpingOpen = false;   // the helper is taking calls from the open batch
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace tarvik::minicmd
