// Starting workers through the C runtime's pipe open, which both platforms
// have (Wine included), so there is one way to run sessions apart.
#include "explore/process.h"

#include "host/host_platform.h"

#if defined(_WIN32)
#include <io.h>
#define HPK_POPEN _popen
#define HPK_PCLOSE _pclose
#else
#include <sys/wait.h>
#include <unistd.h>
#define HPK_POPEN popen
#define HPK_PCLOSE pclose
#endif

namespace hpk::host {

namespace {

std::string QuoteArgument(const std::string& argument) {
    std::string out = "\"";
    for (char c : argument) {
#if !defined(_WIN32)
        if (c == '"' || c == '\\' || c == '$' || c == '`') out.push_back('\\');
#endif
        out.push_back(c);
    }
    return out + "\"";
}

}  // namespace

std::string SelfExecutable() {
#if defined(_WIN32)
    return ExecutableDirectory() + "hpk-host.exe";
#else
    return ExecutableDirectory() + "hpk-host";
#endif
}

bool ErrorIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

bool WorkerProcess::Start(const std::vector<std::string>& arguments, bool quiet) {
    std::string command = QuoteArgument(SelfExecutable());
    for (const std::string& argument : arguments) command += " " + QuoteArgument(argument);
#if defined(_WIN32)
    if (quiet) command += " 2>NUL";
#else
    if (quiet) command += " 2>/dev/null";
#endif
#if defined(_WIN32)
    // cmd.exe drops the first and the last quote of a command that starts with one.
    command = "\"" + command + "\"";
#endif
    std::fflush(nullptr);
    pipe_ = HPK_POPEN(command.c_str(), "r");
    return pipe_ != nullptr;
}

bool WorkerProcess::ReadLine(std::string& line) {
    line.clear();
    if (pipe_ == nullptr) return false;
    int c = 0;
    while ((c = std::fgetc(pipe_)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return c != EOF || !line.empty();
}

std::string WorkerProcess::Finish() {
    if (pipe_ == nullptr) return "not started";
    const int status = HPK_PCLOSE(pipe_);
    pipe_ = nullptr;
#if defined(_WIN32)
    return "exit status " + std::to_string(status);
#else
    if (status != -1 && WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    if (status != -1 && WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    return "status " + std::to_string(status);
#endif
}

WorkerProcess::~WorkerProcess() {
    if (pipe_ != nullptr) HPK_PCLOSE(pipe_);
}

}  // namespace hpk::host
