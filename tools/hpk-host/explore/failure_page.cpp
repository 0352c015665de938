// Drawing a shrunk failure through `hpk-host run` in a worker process.
#include "explore/failure_page.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "explore/process.h"

namespace hpk::host {

FailurePage DrawFailure(const ExploreOptions& options, const std::string& scenarioFile, const std::string& pageFile) {
    FailurePage out;
    std::error_code ignored;
    std::filesystem::remove(pageFile, ignored);
    WorkerProcess replay;
    // Quiet: the run fails on purpose, and the explorer reports the failure itself.
    if (!replay.Start({"run", scenarioFile, "--plugin", options.pluginPath, "--html", pageFile, "--why"}, true)) {
        out.error = "cannot start hpk-host run";
        return out;
    }
    std::vector<std::string> lines;
    for (std::string line; replay.ReadLine(line);) lines.push_back(line);
    const std::string how = replay.Finish();
    if (!std::filesystem::exists(pageFile, ignored)) {
        out.error = "the replay ended (" + how + ") before it wrote its page";
        return out;
    }
    out.page = pageFile;
    std::ofstream file(scenarioFile, std::ios::binary | std::ios::app);
    file << "\n# The host's model of the feature after each step, as `hpk-host run --why` shows it:\n";
    for (const std::string& line : lines) file << "#" << (line.empty() ? "" : " ") << line << "\n";
    return out;
}

}  // namespace hpk::host
