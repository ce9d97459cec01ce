#include "minicmd/Xcopy.h"

#include "minicmd/Console.h"
#include "minicmd/SourceWalk.h"
#include "minicmd/XcopyLine.h"

#include <algorithm>
#include <memory>

namespace tarvik::minicmd {

bool sharesWalk(const XcopyRequest& a, const XcopyRequest& b)
{
    return a.sourceFolder == b.sourceFolder && a.destination == b.destination &&
           a.subfolders == b.subfolders && a.since == b.since;
}

void runXcopies(const std::vector<XcopyRequest>& requests, Console& console,
                const ScriptFolders* folders, const XcopyTurns& turns)
{
    // Only the line that speaks at once may ask a question.
    if (console.interactive() && requests.size() > 1) {
        for (std::size_t index = 0; index < requests.size(); ++index)
            runXcopies({requests[index]}, console, folders,
                       {[&](std::size_t) {
                            if (turns.start)
                                turns.start(index);
                        },
                        [&](std::size_t, int failures, bool matched) {
                            if (turns.end)
                                turns.end(index, failures, matched);
                        }});
        return;
    }
    if (turns.start)
        turns.start(0);
    std::vector<std::unique_ptr<XcopyLine>> copiers;
    std::vector<XcopyLine*> walking; // the lines not refused
    for (std::size_t index = 0; index < requests.size(); ++index) {
        copiers.push_back(
            std::make_unique<XcopyLine>(requests[index], console, folders, index > 0));
        if (copiers.back()->start())
            walking.push_back(copiers.back().get());
    }
    if (!walking.empty())
        walkSource(walking, console);
    console.idle();
    for (std::size_t index = 0; index < copiers.size(); ++index) {
        XcopyLine& copier = *copiers[index];
        if (index > 0 && turns.start)
            turns.start(index);
        // Losing what a line said would hide what it did.
        if (!copier.out().release())
            copier.failWith("Part of what this copy did was not told: a temporary file failed");
        copier.finish(std::find(walking.begin(), walking.end(), &copier) != walking.end());
        if (turns.end)
            turns.end(index, copier.failures(), copier.matchedAny());
    }
}

int runXcopy(const XcopyRequest& request, Console& console, const ScriptFolders* folders,
             bool* matched)
{
    int failures = 0;
    runXcopies({request}, console, folders, {{}, [&](std::size_t, int failed, bool any) {
                                                 failures = failed;
                                                 if (matched)
                                                     *matched = any;
                                             }});
    return failures;
}

} // namespace tarvik::minicmd
