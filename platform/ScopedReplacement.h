#pragma once
// The seams the program reaches through one object in force (the System, the
// dialogs): the real object unless a ScopedReplacement put another in its
// place for a while.

#include <utility>

namespace tarvik::platform {

// Puts `replacement` in force for its own lifetime, then what was in force
// before; replacements nest. installed() is the replacement in force, or null
// when the real object is.
template <typename Seam> class ScopedReplacement
{
  public:
    explicit ScopedReplacement(Seam& replacement) : m_previous(std::exchange(slot(), &replacement))
    {}
    ~ScopedReplacement() { slot() = m_previous; }
    ScopedReplacement(const ScopedReplacement&) = delete;
    ScopedReplacement& operator=(const ScopedReplacement&) = delete;

    static Seam* installed() { return slot(); }

  private:
    static Seam*& slot()
    {
        static Seam* inForce = nullptr;
        return inForce;
    }

    Seam* m_previous;
};

} // namespace tarvik::platform
