// Runs one task per input on a pool of threads, with a progress bar on a
// terminal, reports in input order, and a summary line.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace voved::tool {

struct TaskOutcome {
    bool ok = false;
    bool unchanged = false;            // done, but nothing needed doing
    std::string report;                // printed on standard output
    std::vector<std::string> notices;  // printed on standard error
    std::string error;                 // why it failed, printed on standard error
    double seconds = 0;                // how long it took
};

struct BatchSettings {
    unsigned jobs = 0;          // 0: one per processor core
    const char* verb = "done";  // for the summary: "corrected 3 of 4 pictures"
    bool progress = true;       // progress bar when standard error is a terminal
    bool summary = true;
    bool reportsToStderr = false;  // standard output carries a picture
    bool reportIsResult = false;   // the reports are what was asked for (analyse)
    bool quiet = false;            // errors only (and reports that are results)
    bool verbose = false;          // also each picture's time
};

// Runs task(i) for i = 0 .. names.size() - 1 and returns the process exit
// status: 0 when every task succeeded, 1 otherwise. A task's exception
// counts as its failure; it never stops the other tasks.
int RunBatch(const std::vector<std::string>& names, const BatchSettings& settings,
             const std::function<TaskOutcome(size_t)>& task);

}  // namespace voved::tool
