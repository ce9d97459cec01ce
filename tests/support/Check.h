#pragma once
// A small test harness for the code below the GUI. That code must build and be
// tested without Qt (and cross-compiled for Windows), so QtTest is not an
// option there. Usage:
//
//   TEST_CASE(dateStampPadsMonthAndDay) {
//       for (const auto& row : rows) {
//           CHECK_CONTEXT(row.name);
//           CHECK_EQ(dateStamp(row.date), row.expected);
//       }
//   }
//
// CHECK* records a failure and goes on; REQUIRE* ends the case. Each test
// executable links CheckMain.cpp, which runs every case (or those whose name
// contains argv[1]) and ends with the line "N passed, N failed".

#include <exception>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace check {

using CaseFunction = void (*)();

struct Case
{
    const char* name;
    CaseFunction function;
};

std::vector<Case>& registry();
void recordFailure(const char* file, int line, const std::string& what);
std::string escaped(std::string_view text);

struct Registrar
{
    Registrar(const char* name, CaseFunction function) { registry().push_back({name, function}); }
};

// Thrown by REQUIRE to leave the current case.
struct Abort
{};

// Names the row of a table being checked; printed with any failure inside it.
class Context
{
  public:
    explicit Context(std::string label);
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
};

template <class T> std::string show(const T& value)
{
    if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        return escaped(std::string_view(value));
    } else if constexpr (requires(std::ostream & o) { o << value; }) {
        std::ostringstream out;
        out << value;
        return out.str();
    } else {
        return "<value>";
    }
}

template <class A, class B>
bool checkEqual(const A& actual, const B& expected, const char* file, int line, const char* text)
{
    if (actual == expected)
        return true;
    recordFailure(file, line,
                  std::string(text) + "\n    actual:   " + show(actual) +
                      "\n    expected: " + show(expected));
    return false;
}

} // namespace check

#define CHECK_CONCAT_(a, b) a##b
#define CHECK_CONCAT(a, b) CHECK_CONCAT_(a, b)

#define TEST_CASE(name)                                                                            \
    static void name();                                                                            \
    static const check::Registrar CHECK_CONCAT(name, _registrar)(#name, &name);                    \
    static void name()

#define CHECK_CONTEXT(label) const check::Context CHECK_CONCAT(checkContext, __LINE__)(label)

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition))                                                                          \
            check::recordFailure(__FILE__, __LINE__, "CHECK(" #condition ")");                     \
    } while (false)

#define REQUIRE(condition)                                                                         \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            check::recordFailure(__FILE__, __LINE__, "REQUIRE(" #condition ")");                   \
            throw check::Abort{};                                                                  \
        }                                                                                          \
    } while (false)

#define CHECK_EQ(actual, expected)                                                                 \
    check::checkEqual((actual), (expected), __FILE__, __LINE__,                                    \
                      "CHECK_EQ(" #actual ", " #expected ")")

#define REQUIRE_EQ(actual, expected)                                                               \
    do {                                                                                           \
        if (!check::checkEqual((actual), (expected), __FILE__, __LINE__,                           \
                               "REQUIRE_EQ(" #actual ", " #expected ")"))                          \
            throw check::Abort{};                                                                  \
    } while (false)

// Checks that `expression` throws an exception of type `Type` whose what()
// equals `message`.
#define CHECK_THROWS_WITH(Type, expression, message)                                               \
    do {                                                                                           \
        try {                                                                                      \
            (void)(expression);                                                                    \
            check::recordFailure(__FILE__, __LINE__, "no exception from " #expression);            \
        } catch (const Type& error) {                                                              \
            check::checkEqual(std::string(error.what()), std::string(message), __FILE__, __LINE__, \
                              "message of " #expression);                                          \
        }                                                                                          \
    } while (false)
