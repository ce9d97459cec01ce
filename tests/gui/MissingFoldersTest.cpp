// The look for missing folders, against a look-up that answers only when the
// test lets it: as a share that does not answer holds the real one.
#include "gui/MissingFolders.h"

#include <QtTest>
#include <condition_variable>
#include <memory>
#include <mutex>

using tarvik::gui::MissingFolders;
using Missing = std::map<std::string, bool>;

namespace {

// Folders named "there..." exist. Shared with the looks' threads, which may
// outlive a test's objects.
struct Gate
{
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int underWay = 0, mostAtOnce = 0;
    std::vector<std::string> asked;

    bool exists(const std::string& folder)
    {
        std::unique_lock lock(mutex);
        asked.push_back(folder);
        mostAtOnce = std::max(mostAtOnce, ++underWay);
        changed.wait(lock, [this] { return open; });
        --underWay;
        return folder.starts_with("there");
    }
    void release()
    {
        const std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    int waiting()
    {
        const std::lock_guard lock(mutex);
        return underWay;
    }
    std::vector<std::string> askedSoFar()
    {
        const std::lock_guard lock(mutex);
        return asked;
    }
};

struct Looks
{
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    std::vector<Missing> found;
    std::unique_ptr<MissingFolders> folders = std::make_unique<MissingFolders>(
        [gate = gate](const std::string& folder) { return gate->exists(folder); },
        [this](const Missing& missing) { found.push_back(missing); });
};

} // namespace

class MissingFoldersTest : public QObject
{
    Q_OBJECT

  private slots:
    // The window's thread goes on while a look-up hangs, and is told when it ends.
    void aLookThatHangsHoldsNothingUp()
    {
        Looks looks;
        looks.folders->check({"there", "gone", "there"});
        QTRY_COMPARE(looks.gate->waiting(), 1);
        QVERIFY(looks.found.empty());
        looks.gate->release();
        QTRY_COMPARE(int(looks.found.size()), 1);
        QCOMPARE(looks.found[0], (Missing{{"gone", true}, {"there", false}}));
        QCOMPARE(looks.gate->askedSoFar(), (std::vector<std::string>{"there", "gone"}));
    }

    // However often it is asked meanwhile, one thread at most waits on a share
    // that does not answer; the newest list is looked at next.
    void asksMeanwhileMakeOneMoreLook()
    {
        Looks looks;
        looks.folders->check({"there1"});
        QTRY_COMPARE(looks.gate->waiting(), 1);
        looks.folders->check({"a"});
        looks.folders->check({"there2", "b"});
        looks.gate->release();
        QTRY_COMPARE(int(looks.found.size()), 2);
        QCOMPARE(looks.found[1], (Missing{{"b", true}, {"there2", false}}));
        QCOMPARE(looks.gate->mostAtOnce, 1);
        QCOMPARE(looks.gate->askedSoFar(), (std::vector<std::string>{"there1", "there2", "b"}));
    }

    // A window closed while a look-up hangs is not told of its end.
    void anAnswerForAClosedWindowIsDropped()
    {
        Looks looks;
        looks.folders->check({"there", "gone"});
        QTRY_COMPARE(looks.gate->waiting(), 1);
        looks.folders.reset();
        looks.gate->release();
        // The look's thread holds the gate until it has ended.
        QTRY_COMPARE(looks.gate.use_count(), 1L);
        QCoreApplication::processEvents();
        QVERIFY(looks.found.empty());
    }
};

QTEST_GUILESS_MAIN(MissingFoldersTest)
#include "MissingFoldersTest.moc"
