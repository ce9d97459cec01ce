#pragma once
// Which of a list's folders are missing, looked for away from the window's
// thread: a folder on a share that does not answer, or on a hung network
// mount, can hold a look-up for a minute or for ever, and the window must
// not wait for it. One look is under way at a time; asked again meanwhile,
// it looks once more, at the newest list, when that one ends.

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvik::gui {

class MissingFolders : public QObject
{
  public:
    // Whether a folder is there; called on a thread of its own.
    using Exists = std::function<bool(const std::string& folder)>;
    // Each folder looked at, and whether it is missing.
    using Found = std::function<void(const std::map<std::string, bool>& missing)>;

    // `found` is called on this object's thread, once for each look.
    MissingFolders(Exists exists, Found found, QObject* parent = nullptr);
    // A look still under way goes on alone; what it finds is dropped.
    ~MissingFolders() override;

    // Looks for `folders` now, or when the look under way has ended.
    void check(std::vector<std::string> folders);

  private:
    struct Shared;

    void start(std::vector<std::string> folders);
    void delivered(const std::map<std::string, bool>& missing);

    Exists m_exists;
    Found m_found;
    std::shared_ptr<Shared> m_shared;
    bool m_busy = false;
    std::optional<std::vector<std::string>> m_next;
};

} // namespace tarvik::gui
