// The command line of every hpk-host command, read by one parser (CLI11).
// Each command adds its options to its own part; all of them answer --help
// with their usage, and a mistake the same way: one line naming it, the
// command's usage, exit code 2. `hpk-host --version` prints the versions.
#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace hpk::host {

class CommandLine {
public:
    CommandLine();
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // Adds the command `name`: `synopsis` is its usage after the name, `summary`
    // one line on what it does. Its options go on the returned part, bound to
    // variables that `run` shares; `run` is called once they are read and
    // returns the exit code. Commands are listed in the order added.
    CLI::App& Add(const char* name, const char* synopsis, const char* summary, std::function<int()> run);

    // Reads `argv` (argv[0] is the program) and runs the command it names;
    // returns the exit code. Help goes to standard output, mistakes to
    // standard error.
    int Run(int argc, const char* const* argv);

private:
    struct Command {
        CLI::App* part;
        std::function<int()> run;
    };
    class Formatter;
    int Refuse(const CLI::App* part, const std::string& message) const;

    std::shared_ptr<Formatter> formatter_;
    std::unique_ptr<CLI::App> app_;
    CLI::App* help_ = nullptr;  // owned by app_
    std::vector<Command> commands_;
};

// Options more than one command takes:
// --plugin PATH, which defaults to the library beside this executable;
void AddPluginOption(CLI::App& command, std::string& path);
// a whole number written in decimal digits, from `least` to `most`;
CLI::Option& AddCountOption(CLI::App& command, const char* name, std::uint64_t& count, const char* help,
                            std::uint64_t least = 0, std::uint64_t most = UINT64_MAX);
// one of a few words, each standing for a value of `target`.
template <class Value>
CLI::Option& AddChoiceOption(CLI::App& command, const char* name, Value& target,
                             std::initializer_list<std::pair<const char*, Value>> choices, const char* help);

// What AddChoiceOption builds on: `choose` receives the index of the word given.
CLI::Option& AddChoiceOption(CLI::App& command, const char* name, std::vector<std::string> words,
                             std::function<void(std::size_t)> choose, const char* help);

template <class Value>
CLI::Option& AddChoiceOption(CLI::App& command, const char* name, Value& target,
                             std::initializer_list<std::pair<const char*, Value>> choices, const char* help) {
    std::vector<std::string> words;
    std::vector<Value> values;
    for (const auto& [word, value] : choices) {
        words.emplace_back(word);
        values.push_back(value);
    }
    return AddChoiceOption(
        command, name, std::move(words), [&target, values](std::size_t index) { target = values[index]; }, help);
}

}  // namespace hpk::host
