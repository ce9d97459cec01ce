#pragma once
// What a run can get wrong without any copy failing: source folders that
// were not there, a file type that matched nothing anywhere, and changes that
// fall between the last run that copied a folder and the date this one
// copies it from. Each is said, and kept for the summary.

#include "minicmd/Interpreter.h"

#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tarvik::minicmd {

class Console;

class RunChecks
{
  public:
    // `missing`: the source folders the program left out of the script
    // because it did not find them. `records`: the state folder ("" for none).
    RunChecks(std::vector<std::string> missing, std::string records, std::time_t started);

    // Names the missing folders.
    void start(Console& console);
    XcopyWatch watch(Console& console);
    // After the script: names each mask that matched nothing; fails the run
    // when none of the source folders existed. Returns the failures added.
    int finish(Console& console);
    // Once the run ended by itself: each source it copied without failure
    // is now in a backup up to this run's start.
    void recordCoverage() const;

  private:
    void writeCoverage() const;

    struct Mask
    {
        bool matched = false;
        int failures = 0;
    };
    std::vector<std::string> m_missing;
    std::string m_records;
    std::time_t m_started;
    int m_xcopies = 0;
    std::map<std::string, Mask> m_masks;
    std::vector<std::string> m_order;            // masks as first met
    std::map<std::string, int> m_sourceFailures; // by resolved source folder
    std::set<std::string> m_gapTold;
    std::optional<std::map<std::string, std::time_t>> m_coverage; // read when first needed
};

} // namespace tarvik::minicmd
