#pragma once
// The table of a test that runs once with a condition and once without it.

#include <QTest>
#include <initializer_list>
#include <utility>

namespace tarvik::test {

// The bool column `column` and a row per tag with its value, in their order.
inline void addBoolRows(const char* column,
                        std::initializer_list<std::pair<const char*, bool>> rows)
{
    QTest::addColumn<bool>(column);
    for (const auto& [tag, value] : rows)
        QTest::newRow(tag) << value;
}

} // namespace tarvik::test
