#include "gui/MissingFolders.h"

#include <mutex>
#include <system_error>
#include <thread>

namespace tarvik::gui {

// What a look's thread shares with the object that started it, which may be
// gone by the time the look ends.
struct MissingFolders::Shared
{
    std::mutex mutex;
    MissingFolders* owner;
};

MissingFolders::MissingFolders(Exists exists, Found found, QObject* parent)
    : QObject(parent), m_exists(std::move(exists)), m_found(std::move(found)),
      m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
}

MissingFolders::~MissingFolders()
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->owner = nullptr;
}

void MissingFolders::check(std::vector<std::string> folders)
{
    if (m_busy)
        m_next = std::move(folders);
    else
        start(std::move(folders));
}

void MissingFolders::start(std::vector<std::string> folders)
{
    try {
        std::thread([shared = m_shared, exists = m_exists, folders = std::move(folders)] {
            std::map<std::string, bool> missing;
            for (const std::string& folder : folders)
                if (!missing.contains(folder))
                    missing[folder] = !exists(folder);
            // Held while the answer is posted, so that the owner is not
            // destroyed meanwhile; an answer posted to it is dropped if it
            // is destroyed before the answer is delivered.
            const std::lock_guard lock(shared->mutex);
            if (MissingFolders* owner = shared->owner) {
                QMetaObject::invokeMethod(
                    owner, [owner, missing = std::move(missing)] { owner->delivered(missing); },
                    Qt::QueuedConnection);
            }
        }).detach();
        m_busy = true;
    } catch (const std::system_error&) {
        // Without a thread to look, the marks stay as the last look left them.
    }
}

void MissingFolders::delivered(const std::map<std::string, bool>& missing)
{
    m_busy = false;
    m_found(missing);
    if (m_next) {
        std::vector<std::string> next = std::move(*m_next);
        m_next.reset();
        start(std::move(next));
    }
}

} // namespace tarvik::gui
