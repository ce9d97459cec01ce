#include "TestFiles.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace testfiles {

TempDir::TempDir()
{
    std::random_device seed;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("tarvik-test-" + std::to_string(seed()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    // Tests may leave folders read-only; make them writable to remove them.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_path, ignored)) {
        if (entry.is_directory(ignored) && !entry.is_symlink(ignored))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(m_path, ignored);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

void makeDirectory(const std::string& path)
{
    std::filesystem::create_directories(path);
}

std::string golden(const std::string& name)
{
    return readFile(std::string(TARVIK_TEST_DATA) + "/" + name);
}

} // namespace testfiles
