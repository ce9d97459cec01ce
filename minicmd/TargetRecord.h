#pragma once
// Which source filled each target folder, kept in the state folder
// (targets.tsv: "target<TAB>source<TAB>time" per folder), so that a folder
// that one source filled is never filled by another: the list of sources may
// change between two runs that copy into the same dated folder, and where
// letter case is ignored two sources' names may lead to one folder. A folder
// no run has claimed for kTargetMemoryDays is forgotten.

#include <string>

namespace tarvik::minicmd {

inline constexpr int kTargetMemoryDays = 30;

// Claims `target` (a folder the script made) for `source`, both resolved
// paths. Returns the refusal when another source filled it, "" otherwise.
// Without a state folder nothing is known, and nothing refused.
std::string claimTarget(const std::string& target, const std::string& source);

} // namespace tarvik::minicmd
