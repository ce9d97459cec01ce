#include "minicmd/TargetRecord.h"

#include "minicmd/RunHistory.h"
#include "minicmd/RunLog.h"
#include "minicmd/VisibleText.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvik::minicmd {
namespace {

// A claim's paths are absolute. A line that starts with this holds them
// encoded, as paths with a tab, a line break or a backslash are written.
constexpr char kCoded = '=';

struct Claim
{
    std::string target, source;
    long long time = 0;
};

std::vector<Claim> readClaims(const std::string& path)
{
    std::vector<Claim> claims;
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (!file)
        return claims;
    std::string line;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        const bool coded = line.starts_with(kCoded);
        const auto field = [&](std::size_t from, std::size_t to) {
            const std::string text = line.substr(from, to - from);
            return coded ? decoded(text) : text;
        };
        const auto first = line.find('\t'), second = line.rfind('\t');
        if (first != std::string::npos && second > first) {
            Claim claim{field(coded ? 1 : 0, first), field(first + 1, second)};
            claim.time = std::atoll(line.c_str() + second + 1);
            claims.push_back(std::move(claim));
        }
        line.clear();
    }
    std::fclose(file);
    return claims;
}

void writeClaims(const std::string& path, const std::vector<Claim>& claims)
{
    const std::string temporary = path + "." + std::to_string(::getpid());
    std::FILE* file = std::fopen(temporary.c_str(), "we");
    if (!file)
        return;
    for (const Claim& claim : claims) {
        if ((claim.target + claim.source).find_first_of("\t\n\\") == std::string::npos)
            std::fprintf(file, "%s\t%s\t%lld\n", claim.target.c_str(), claim.source.c_str(),
                         claim.time);
        else
            std::fprintf(file, "%c%s\t%s\t%lld\n", kCoded, encoded(claim.target).c_str(),
                         encoded(claim.source).c_str(), claim.time);
    }
    if (std::fclose(file) == 0)
        std::rename(temporary.c_str(), path.c_str());
    else
        std::remove(temporary.c_str());
}

// Tells whether a claimed folder is `target`'s folder under another name: on
// a file system that ignores letter case (a FAT stick, a Windows share)
// "Docs" and "docs" are one folder, and so are any two names of a bind
// mount. Only the names beside `target` are looked at, which is where the
// script puts the day's folders.
class SameFolder
{
  public:
    explicit SameFolder(const std::string& target)
        : m_parent(parentOf(target)), m_identity(identityOf(target))
    {}

    bool operator()(const std::string& claimed) const
    {
        return m_identity && parentOf(claimed) == m_parent && identityOf(claimed) == m_identity;
    }

  private:
    using Identity = std::optional<std::pair<dev_t, ino_t>>;

    static std::string_view parentOf(std::string_view path)
    {
        return path.substr(0, path.rfind('/'));
    }

    static Identity identityOf(const std::string& path)
    {
        struct stat info
        {};
        if (::stat(path.c_str(), &info) != 0)
            return std::nullopt;
        return std::pair{info.st_dev, info.st_ino};
    }

    std::string_view m_parent;
    Identity m_identity;
};

} // namespace

std::string claimTarget(const std::string& target, const std::string& source)
{
    const std::string folder = stateFolder();
    if (folder.empty() || target.empty() || source.empty())
        return {};
    // Runs that start together take turns: each reads the claims the other
    // wrote, and none is lost.
    const FolderLock lock(folder);
    const std::string path = folder + "/targets.tsv";
    const long long now = std::time(nullptr);
    std::vector<Claim> kept;
    bool known = false;
    const SameFolder sameFolder(target);
    for (Claim& claim : readClaims(path)) {
        if (claim.time < now - kTargetMemoryDays * 24LL * 3600)
            continue;
        if (claim.target == target) {
            if (claim.source != source)
                return target + " holds the backup of " + claim.source +
                       "; nothing was copied into it";
            claim.time = now;
            known = true;
        } else if (claim.source != source && sameFolder(claim.target)) {
            return target + " is the folder " + claim.target + ", which holds the backup of " +
                   claim.source + "; nothing was copied into it";
        }
        kept.push_back(std::move(claim));
    }
    if (!known)
        kept.push_back({target, source, now});
    writeClaims(path, kept);
    return {};
}

} // namespace tarvik::minicmd
