#include "Check.h"

#include <cstdio>
#include <cstring>
#include <iostream>

namespace check {
namespace {

int g_failuresInCase = 0;
std::vector<std::string>& contexts()
{
    static std::vector<std::string> stack;
    return stack;
}

} // namespace

std::vector<Case>& registry()
{
    static std::vector<Case> cases;
    return cases;
}

Context::Context(std::string label)
{
    contexts().push_back(std::move(label));
}
Context::~Context()
{
    contexts().pop_back();
}

void recordFailure(const char* file, int line, const std::string& what)
{
    ++g_failuresInCase;
    std::cerr << file << ':' << line << ": " << what << '\n';
    for (const auto& label : contexts())
        std::cerr << "    in: " << label << '\n';
}

std::string escaped(std::string_view text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c < 32 || c >= 127) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

} // namespace check

int main(int argc, char** argv)
{
    const char* filter = argc > 1 ? argv[1] : nullptr;
    int passed = 0;
    int failed = 0;
    for (const auto& testCase : check::registry()) {
        if (filter && !std::strstr(testCase.name, filter))
            continue;
        check::g_failuresInCase = 0;
        try {
            testCase.function();
        } catch (const check::Abort&) {
        } catch (const std::exception& error) {
            check::recordFailure(testCase.name, 0,
                                 std::string("unexpected exception: ") + error.what());
        } catch (...) {
            check::recordFailure(testCase.name, 0, "unexpected exception of unknown type");
        }
        const bool ok = check::g_failuresInCase == 0;
        std::cout << (ok ? "PASS " : "FAIL ") << testCase.name << '\n';
        (ok ? passed : failed)++;
    }
    std::cout << passed << " passed, " << failed << " failed\n";
    return failed == 0 && passed > 0 ? 0 : 1;
}
