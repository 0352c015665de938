// Worker processes of the explorer: the same executable started with an
// internal command line, its output read line by line. A crash or a hang of
// the plugin ends the worker, never the explorer.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace hpk::host {

class WorkerProcess {
public:
    // Starts this executable with `arguments`; false when it cannot be started.
    // `quiet`: its standard error is dropped (a command whose messages the
    // caller reports in its own words).
    bool Start(const std::vector<std::string>& arguments, bool quiet = false);
    // The next line of its output without the line end; false at the end.
    bool ReadLine(std::string& line);
    // Waits for it to end; a text saying how it ended ("exit status 0", "signal 11").
    std::string Finish();
    ~WorkerProcess();

private:
    std::FILE* pipe_ = nullptr;
};

// Path of the running executable.
std::string SelfExecutable();

// Whether standard error is a terminal (for the progress line).
bool ErrorIsTerminal();

}  // namespace hpk::host
