#pragma once

// tamblure-batch's command line, read by the POSIX conventions through
// glibc's getopt_long: short options may be glued to their value (-s150) or
// not, long ones take "=" or the next argument (--size=150, --size 150),
// options may come after the folders, and "--" ends the options.

#include <cstdint>
#include <string>
#include <vector>

namespace tamblure::cli {

struct Options {
    bool factor = false;       // "Facteur de réduction" rather than "Dimension maximale"
    std::int32_t number = 200; // the limit in pixels or the factor
    int quality = 75;
    bool html = false;
    std::string title;
    int columns = 1;
    bool modernPage = false; // --page moderne (the classic page otherwise)
    bool hidpi = false;      // thumbnails at twice the size too, for the modern page
    unsigned jobs = 0;       // 0: one per processor
    unsigned memoryMiB = 1024;
    bool keepGoing = false;
    bool update = false;
    bool prune = false;
    bool recursive = false;
    unsigned shardPart = 1; // --shard K/N
    unsigned shardParts = 1;
    bool quiet = false;
    bool noGps = false; // --no-gps
    bool strip = false; // --strip (which takes the GPS position out too)
    std::vector<std::string> folders;
};

// What the command line asks for.
struct Request {
    enum class Kind {
        Run,
        Help,
        Version,
        Wrong
    } kind = Kind::Run;
    Options options;
    std::string message; // for Wrong: "tamblure-batch : --size : ..." (without usage)
};

Request parseCommandLine(int argc, char** argv);

// The usage line and the help text in French, as --help prints them through
// tr().
extern const char* const kUsage;
extern const char* const kHelp;

} // namespace tamblure::cli
