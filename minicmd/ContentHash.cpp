#include "minicmd/ContentHash.h"

#include <algorithm>
#include <new>
#include <xxhash.h>
#if defined(__x86_64__) || defined(__i386__)
// The library's own choice of the widest vector unit the processor has: on
// a processor with AVX2 it hashes four times as fast as the SSE2 code it
// would run otherwise, with the same result.
#include <xxh_x86dispatch.h>
#endif

namespace tarvik::minicmd {

struct ContentHash::State
{
    XXH3_state_t* xxh = XXH3_createState();
    ~State() { XXH3_freeState(xxh); }
};

ContentHash::ContentHash() : m_state(new State)
{
    if (!m_state->xxh)
        throw std::bad_alloc();
    reset();
}

ContentHash::~ContentHash()
{
    delete m_state;
}

void ContentHash::reset()
{
    XXH3_128bits_reset(m_state->xxh);
}

void ContentHash::add(const void* bytes, std::size_t size)
{
    XXH3_128bits_update(m_state->xxh, bytes, size);
}

void ContentHash::addZeros(off_t count)
{
    static const char zeros[64 * 1024] = {};
    for (; count > 0; count -= off_t(sizeof zeros))
        add(zeros, static_cast<std::size_t>(std::min(count, off_t(sizeof zeros))));
}

std::string ContentHash::text() const
{
    // Written digit by digit: this runs for every file copied, and a
    // formatted print of two numbers costs more than the small file's hash.
    const XXH128_hash_t digest = XXH3_128bits_digest(m_state->xxh);
    constexpr char kDigits[] = "0123456789abcdef";
    std::string text(32, '0');
    for (int digit = 0; digit < 16; ++digit) {
        text[15 - digit] = kDigits[(digest.high64 >> (4 * digit)) & 0xf];
        text[31 - digit] = kDigits[(digest.low64 >> (4 * digit)) & 0xf];
    }
    return text;
}

} // namespace tarvik::minicmd
