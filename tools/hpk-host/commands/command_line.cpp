// The tool's command line on CLI11. CLI11 reports a mistake by throwing; the
// throw ends in Run, the one place that catches it, and becomes exit code 2.
#include "commands/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "commands/exit_codes.h"
#include "diagnostics/positional_format.h"
#include "host/host_platform.h"
#include "host/plugin_session.h"
#include "text/host_messages.h"

#ifndef HPK_PROJECT_VERSION
#error "the build defines HPK_PROJECT_VERSION from the VERSION file"
#endif

namespace hpk::host {

// Writes each command's usage from its synopsis, the option list without
// CLI11's type annotations, and the tool's own listing of its commands.
class CommandLine::Formatter : public CLI::Formatter {
public:
    struct Entry {
        const CLI::App* part;
        std::string synopsis;
    };
    std::vector<Entry> entries;

    std::string Synopsis(const CLI::App* part) const {
        auto found = std::find_if(entries.begin(), entries.end(), [part](const Entry& e) { return e.part == part; });
        return found == entries.end() ? std::string() : found->synopsis;
    }

    // The listing `hpk-host --help` prints: each command with its synopsis.
    std::string Listing() const {
        std::string out = kMsgCommandLineUsage;
        for (const Entry& entry : entries) {
            out += FormatPositional(kMsgCommandLineEntry, entry.part->get_name(), entry.synopsis,
                                    entry.part->get_description());
        }
        return out + kMsgCommandLineFooter;
    }

    std::string make_usage(const CLI::App* part, std::string name) const override {
        return FormatPositional(kMsgCommandUsage, name, Synopsis(part)) + "\n";
    }
    std::string make_help(const CLI::App* part, std::string name, CLI::AppFormatMode mode) const override {
        if (part->get_parent() == nullptr) return Listing();
        std::string help = CLI::Formatter::make_help(part, std::move(name), mode);
        // CLI11 ends some commands' help with blank lines; one end of line is enough.
        while (help.size() > 1 && help.compare(help.size() - 2, 2, "\n\n") == 0) help.pop_back();
        return help;
    }
    std::string make_option_opts(const CLI::Option* option) const override {
        const bool takesValue = option->nonpositional() && option->get_type_size() != 0;
        return takesValue ? " " + option->get_type_name() : "";
    }
};

CommandLine::CommandLine()
    : formatter_(std::make_shared<Formatter>()), app_(std::make_unique<CLI::App>("", "hpk-host")) {
    app_->formatter(formatter_);
    app_->set_help_flag("-h,--help", kMsgHelpOption);
    app_->set_version_flag("--version", FormatPositional(kMsgVersion, HPK_PROJECT_VERSION, kHostApiVersion[0],
                                                         kHostApiVersion[1], kHostApiVersion[2]));
    // Extras are collected rather than refused, so that the refusal names
    // the first of them in the same words for every command.
    app_->allow_extras();
    // On Windows CLI11 would read "/x" as an option; here it is a path, as
    // the scenarios' paths are under Wine.
    app_->allow_windows_style_options(false);
    app_->require_subcommand(0, 1);
    // `hpk-host help` is `hpk-host --help`; it is not listed as a command.
    help_ = app_->add_subcommand("help")->group("");
}

CommandLine::~CommandLine() = default;

CLI::App& CommandLine::Add(const char* name, const char* synopsis, const char* summary, std::function<int()> run) {
    CLI::App* part = app_->add_subcommand(name, summary);
    formatter_->entries.push_back({part, synopsis});
    commands_.push_back({part, std::move(run)});
    return *part;
}

int CommandLine::Refuse(const CLI::App* part, const std::string& message) const {
    const std::string prefix = part != nullptr ? "hpk-host " + part->get_name() : "hpk-host";
    std::fprintf(stderr, "%s: %s\n", prefix.c_str(), message.c_str());
    const std::string usage = part != nullptr ? formatter_->make_usage(part, prefix) : formatter_->Listing();
    std::fputs(usage.c_str(), stderr);
    return kExitUsage;
}

int CommandLine::Run(int argc, const char* const* argv) {
    std::string mistake;
    try {
        app_->parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app_->help().c_str(), stdout);
        return kExitOk;
    } catch (const CLI::CallForVersion& version) {
        std::printf("%s\n", version.what());
        return kExitOk;
    } catch (const CLI::ParseError& error) {
        mistake = error.what();
    }
    auto chosen = std::find_if(commands_.begin(), commands_.end(), [](const Command& c) { return c.part->parsed(); });
    const CLI::App* part = chosen != commands_.end() ? chosen->part : nullptr;
    if (mistake.empty()) {
        std::vector<std::string> extras = app_->remaining(true);
        if (!extras.empty()) mistake = FormatPositional(kMsgUnexpectedArgument, extras.front());
    }
    if (!mistake.empty()) return Refuse(part, mistake);
    if (help_->parsed()) {
        std::fputs(formatter_->Listing().c_str(), stdout);
        return kExitOk;
    }
    if (part == nullptr) {
        // No command: the listing, as a mistake.
        std::fputs(formatter_->Listing().c_str(), stderr);
        return kExitUsage;
    }
    return chosen->run();
}

void AddPluginOption(CLI::App& command, std::string& path) {
    path = DefaultPluginPath();
    command.add_option("--plugin", path, kMsgPluginOption)->type_name("PATH");
}

CLI::Option& AddCountOption(CLI::App& command, const char* name, std::uint64_t& count, const char* help,
                            std::uint64_t least, std::uint64_t most) {
    // Decimal digits only: CLI11 alone would also read "0x10", "-1", and "010" as eight.
    const CLI::Validator decimal(
        [least, most](std::string& text) {
            if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return FormatPositional(kMsgNotACount, text);
            text.erase(0, std::min(text.find_first_not_of('0'), text.size() - 1));
            errno = 0;
            const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
            if (errno == ERANGE || value > most) return FormatPositional(kMsgCountAbove, text, most);
            if (value < least) return FormatPositional(kMsgCountBelow, text, least);
            return std::string();
        },
        "");
    return *command.add_option(name, count, help)->transform(decimal)->type_name("N");
}

CLI::Option& AddChoiceOption(CLI::App& command, const char* name, std::vector<std::string> words,
                             std::function<void(std::size_t)> choose, const char* help) {
    std::string list;
    for (const std::string& word : words) list += (list.empty() ? "" : "|") + word;
    auto pick = [words, choose = std::move(choose), name = std::string(name), list](const std::string& given) {
        auto found = std::find(words.begin(), words.end(), given);
        // Thrown within CLI11's reading, which is how it takes a refusal; Run catches it.
        if (found == words.end()) throw CLI::ValidationError(name, FormatPositional(kMsgNotAChoice, given, list));
        choose(static_cast<std::size_t>(found - words.begin()));
    };
    return *command.add_option_function<std::string>(name, pick, help)->type_name(list);
}

}  // namespace hpk::host
