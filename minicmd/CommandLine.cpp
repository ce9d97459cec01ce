#include "minicmd/CommandLine.h"

namespace tarvik::minicmd {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

ParsedLine refuse(std::string message)
{
    return {{}, std::move(message)};
}

} // namespace

ParsedLine parseCommandLine(std::string_view line)
{
    if (line.size() > kMaxLineLength)
        return refuse("The input line is too long.");

    ParsedLine parsed;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        // Percent signs are resolved before anything else, inside quotes too.
        if (c == '%') {
            if (i + 1 < line.size() && line[i + 1] == '%') {
                word += '%';
                inWord = true;
                ++i;
                continue;
            }
            return refuse("A single % (variable expansion) is not supported; write %% for a "
                          "percent sign. The line was not run.");
        }
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
            continue;
        }
        if (quoted) {
            word += c;
            continue;
        }
        if (c == '^') {
            if (i + 1 < line.size()) {
                word += line[++i];
                inWord = true;
            }
            continue;
        }
        if (c == '&' || c == '|' || c == '<' || c == '>') {
            return refuse(std::string("The character ") + c +
                          " outside quotation marks would chain or redirect commands, which "
                          "is not supported. The line was not run.");
        }
        if (isBlank(c)) {
            if (inWord)
                parsed.words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        word += c;
        inWord = true;
    }
    if (inWord)
        parsed.words.push_back(std::move(word));
    return parsed;
}

} // namespace tarvik::minicmd
