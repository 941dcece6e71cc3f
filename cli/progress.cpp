#include "cli/progress.h"

#include "common/translation.h"

#include <cmath>
#include <unistd.h>

namespace tamblure::cli {

namespace {

// "1 min 25 s", "45 s", "2 h 05 min".
std::string duration(double seconds)
{
    const auto whole = static_cast<long>(std::lround(seconds));
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ld h %02ld min", whole / 3600, whole % 3600 / 60);
    else if (whole >= 60)
        std::snprintf(text, sizeof text, "%ld min %ld s", whole / 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%ld s", whole);
    return text;
}

} // namespace

ProgressLine::ProgressLine(std::FILE* terminal, bool enabled)
    : terminal_(terminal), enabled_(enabled && ::isatty(::fileno(terminal)) == 1)
{}

std::string ProgressLine::text(std::size_t done, std::size_t total, double seconds)
{
    const int width = static_cast<int>(std::to_string(total).size());
    char head[64];
    std::snprintf(head, sizeof head, "[%*zu/%zu]", width, done, total);
    std::string line = head;
    if (done == 0 || seconds <= 0)
        return line;
    const double rate = static_cast<double>(done) / seconds;
    line += "  ";
    line += format(tr("%1 photos/s"), {decimalText(rate, 1)});
    if (done < total) {
        line += "  ";
        line += format(tr("reste %1"), {duration(static_cast<double>(total - done) / rate)});
    }
    return line;
}

void ProgressLine::start(std::size_t total)
{
    total_ = total;
    done_ = 0;
    start_ = Clock::now();
    redraw();
}

void ProgressLine::update(std::size_t done)
{
    done_ = done;
    const auto now = Clock::now();
    if (now - drawn_ >= std::chrono::milliseconds(100) || done == total_)
        redraw();
}

void ProgressLine::erase()
{
    if (!shown_)
        return;
    std::fputs("\r\033[K", terminal_);
    std::fflush(terminal_);
    shown_ = false;
}

void ProgressLine::stop()
{
    erase();
    stopped_ = true;
}

void ProgressLine::redraw()
{
    if (!enabled_ || stopped_)
        return;
    drawn_ = Clock::now();
    const double seconds = std::chrono::duration<double>(drawn_ - start_).count();
    std::fprintf(terminal_, "\r\033[K%s", text(done_, total_, seconds).c_str());
    std::fflush(terminal_);
    shown_ = true;
}

} // namespace tamblure::cli
