#include "core/DateTexts.h"

#include "Check.h"

using namespace tarvik;

TEST_CASE(dateTextsOfChangesFromDate)
{
    struct Row
    {
        CivilDate date;
        const char* stamp;
        const char* xcopy;
    };
    const Row rows[] = {
        {{2026, 12, 6}, "20261206", "12-6-2026"},   {{2027, 1, 5}, "20270105", "1-5-2027"},
        {{2026, 10, 31}, "20261031", "10-31-2026"}, {{2026, 9, 9}, "20260909", "9-9-2026"},
        {{999, 12, 31}, "9991231", "12-31-999"},    {{10000, 1, 1}, "100000101", "1-1-10000"},
    };
    for (const auto& row : rows) {
        CHECK_CONTEXT(row.stamp);
        CHECK_EQ(DateStamp(row.date), row.stamp);
        CHECK_EQ(XcopyDateText(row.date), row.xcopy);
    }
}

TEST_CASE(stripPathSeparatorsRemovesOnlySlashes)
{
    const std::pair<const char*, const char*> rows[] = {
        {"12/6/2026", "1262026"},
        {"2026\\12\\06", "20261206"},
        {"06.12.2026", "06.12.2026"},
        {"2026-12-06", "2026-12-06"},
        {"C:\\Work", "C:Work"},
        {"", ""},
        {"/\\//\\", ""},
        {" 6 / 12 ", " 6  12 "},
    };
    for (const auto& [input, expected] : rows) {
        CHECK_CONTEXT(input);
        CHECK_EQ(StripPathSeparators(input), expected);
    }
}

TEST_CASE(lastPathComponentSplitsAtTheGivenSeparatorOnly)
{
    const std::pair<const char*, const char*> windows[] = {
        {"C:\\Work\\Src", "Src"},
        {"C:\\Work\\Src\\", ""},
        {"c:\\", ""},
        {"Src", "Src"},
        {"", ""},
        {"\\\\Server\\Share\\Docs", "Docs"},
        {"C:/Work/Src", "C:/Work/Src"},
        {"C:\\Work/Src", "Work/Src"},
    };
    for (const auto& [input, expected] : windows) {
        CHECK_CONTEXT(input);
        CHECK_EQ(LastPathComponent(input, '\\'), expected);
    }
    const std::pair<const char*, const char*> posix[] = {
        {"/home/jo/Src", "Src"},
        {"/home/jo/Src/", ""},
        {"/", ""},
        {"a\\b", "a\\b"},
    };
    for (const auto& [input, expected] : posix) {
        CHECK_CONTEXT(input);
        CHECK_EQ(LastPathComponent(input, '/'), expected);
    }
}
