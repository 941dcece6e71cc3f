#include "batch_process.h"

#include "support/test_support.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace tamblure::test {

Outcome runBatch(const std::vector<std::string>& arguments, const ProcessOptions& how)
{
    TempDir scratch;
    const std::string outPath = how.output.empty() ? (scratch / "out").string() : how.output;
    const std::string errPath = (scratch / "err").string();
    int pipeEnds[2] = {-1, -1};
    if (how.whileRunning && ::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = how.whileRunning ? pipeEnds[1] : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (how.fileSizeLimit > 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{how.fileSizeLimit, how.fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (!how.workingFolder.empty() && ::chdir(how.workingFolder.c_str()) != 0)
            ::_exit(126);
        ::setenv("LC_ALL", how.locale.c_str(), 1);
        ::unsetenv("LANGUAGE");
        std::vector<char*> argv;
        for (const auto& w : how.wrapper)
            argv.push_back(const_cast<char*>(w.c_str()));
        argv.push_back(const_cast<char*>(TAMBLURE_BATCH_EXE));
        for (const auto& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    Outcome o;
    if (how.whileRunning) {
        ::close(pipeEnds[1]);
        int output = pipeEnds[0];
        how.whileRunning(pid, output);
        if (output >= 0) {
            char buffer[4096];
            for (ssize_t n; (n = ::read(output, buffer, sizeof buffer)) > 0;)
                o.out.append(buffer, static_cast<std::size_t>(n));
            ::close(output);
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (how.output.empty() && !how.whileRunning) {
        const auto out = readFile(outPath);
        o.out.assign(out.begin(), out.end());
    }
    const auto err = readFile(errPath);
    o.err.assign(err.begin(), err.end());
    return o;
}

std::vector<std::string> words(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

} // namespace tamblure::test
