#include "platform/Names.h"

#include "Check.h"

#include <optional>
#include <string>

using tarvik::platform::NameIndex;

// Names match without regard to the case of ASCII letters only, and the first
// position recorded for a name is the one found.
TEST_CASE(nameIndexFindsTheFirstPositionOfANameInAnyLetterCase)
{
    NameIndex index;
    index.add("Number", 0);
    index.add("sVal0", 1);
    index.add("SVAL0", 2);
    index.add("sVal10", 3);
    index.add("s\xE9", 4);
    index.add("", 5);
    index.add("@", 6); // the byte before "A"; "`" is the one before "a"
    index.add("{", 7); // the byte after "z"; "[" is the one after "Z"
    struct Row
    {
        const char* name;
        std::optional<size_t> expected;
    };
    const Row rows[] = {
        {"Number", 0},    {"nUMBER", 0}, {"sval0", 1}, {"SVAL0", 1},   {"sVal1", {}}, {"sVal10", 3},
        {"Number ", {}},  {"Numbe", {}}, {"s\xE9", 4}, {"S\xE9", 4},   {"s\xC9", {}}, {"", 5},
        {"[Number]", {}}, {"`", {}},     {"[", {}},    {"sVal01", {}}, {"@", 6},      {"{", 7},
    };
    for (const Row& row : rows) {
        CHECK_CONTEXT(row.name);
        const std::optional<size_t> found = index.find(row.name);
        CHECK_EQ(found ? std::to_string(*found) : "(missing)",
                 row.expected ? std::to_string(*row.expected) : "(missing)");
    }
}
