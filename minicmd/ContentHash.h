#pragma once
// The hash a copy's content is recorded by, so that the copy can be checked
// long after: XXH3 with 128 bits, fed the bytes as they pass through.

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace tarvik::minicmd {

class ContentHash
{
  public:
    ContentHash();
    ~ContentHash();
    ContentHash(const ContentHash&) = delete;
    ContentHash& operator=(const ContentHash&) = delete;

    void reset();
    void add(const void* bytes, std::size_t size);
    // The holes of a sparse file read as zeros, and are hashed as such.
    void addZeros(off_t count);
    // 32 hexadecimal digits.
    std::string text() const;

  private:
    struct State;
    State* m_state;
};

} // namespace tarvik::minicmd
