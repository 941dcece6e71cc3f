#pragma once

// tamblure-batch run as a separate process, as a script would run it.

#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

namespace tamblure::test {

struct Outcome {
    int exitCode = -1; // -1 when the process did not exit by itself
    std::string out;
    std::string err;
};

struct ProcessOptions {
    rlim_t fileSizeLimit = 0;  // above 0: RLIMIT_FSIZE, writes past it fail with EFBIG
    std::string output;        // standard output to this file instead of a captured one
    std::string workingFolder; // where the process runs, when not empty
    // A command that starts tamblure-batch, given as its last arguments
    // (unshare ... sh -c '...; exec "$0" "$@"'), found on the PATH.
    std::vector<std::string> wrapper;
    // Called while the process runs, with its standard output as the read
    // end of a pipe; close it and set it to -1 to leave the rest unread.
    std::function<void(pid_t pid, int& output)> whileRunning;
    // LC_ALL for the process, LANGUAGE unset: by default C, so that its
    // texts are the program's own French ones whatever the tester's locale.
    std::string locale = "C";
};

Outcome runBatch(const std::vector<std::string>& arguments, const ProcessOptions& how = {});

// "a b  c" as {"a", "b", "c"}.
std::vector<std::string> words(const std::string& text);

} // namespace tamblure::test
