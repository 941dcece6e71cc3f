#pragma once

// The progress line of a long run: one line on the terminal, rewritten in
// place, "[  37/1250]  14,2 photos/s  reste 1 min 25 s" (in English
// "14.2 photos/s  1 min 25 s left"), and erased at the end. It is only ever
// drawn on a terminal: nothing of it reaches a pipe or a file.

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace tamblure::cli {

class ProgressLine {
public:
    // Draws on `terminal` when `enabled` (and the stream is a terminal).
    ProgressLine(std::FILE* terminal, bool enabled);

    void start(std::size_t total);
    // `done` of the total; redrawn at most ten times a second, and at the end.
    void update(std::size_t done);
    // Takes the line away (before a name is printed, and at the end).
    void erase();
    // Draws the line again after erase(), unless the run has ended.
    void redraw();
    // Takes the line away for good: the run has ended, and nothing may draw
    // it again under the last lines printed (the shell's prompt would stick
    // to it).
    void stop();

    // The line's text for done of total after `seconds`.
    static std::string text(std::size_t done, std::size_t total, double seconds);

private:
    using Clock = std::chrono::steady_clock;

    std::FILE* terminal_;
    bool enabled_;
    bool shown_ = false;
    bool stopped_ = false;
    std::size_t done_ = 0;
    std::size_t total_ = 0;
    Clock::time_point start_;
    Clock::time_point drawn_;
};

} // namespace tamblure::cli
