#include "cli/CommandParser.h"

#include "cli/TerminalText.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tessera::cli {

CommandParser::CommandParser(std::string command, std::string description, std::string usage)
    : command_(std::move(command)), usage_(std::move(usage)),
      app_(std::move(description), command_.empty() ? "tessera" : "tessera " + command_) {
    app_.set_help_flag("-h,--help", "print this help and exit");
    app_.get_formatter()->column_width(28);
    app_.footer("-log N (0 to 3) writes diagnostics to standard error.");
}

std::optional<int> CommandParser::parse(std::span<const std::string> arguments) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != "-log") {
            rest.push_back(arguments[i]);
            continue;
        }
        // Read by the logger itself; only checked here.
        const bool valid = i + 1 < arguments.size() && arguments[i + 1].size() == 1 &&
                           arguments[i + 1][0] >= '0' && arguments[i + 1][0] <= '3';
        if (!valid) return refuse("-log wants a level from 0 to 3");
        ++i;
    }
    std::reverse(rest.begin(), rest.end()); // CLI11 takes them last first
    try {
        app_.parse(rest);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app_.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ParseError& error) {
        return refuse(error.what());
    }
    return std::nullopt;
}

int CommandParser::refuse(const std::string& why) const {
    std::fprintf(stderr, "tessera%s%s: %s\n%s", command_.empty() ? "" : " ", command_.c_str(),
                 escapeForTerminal(why).c_str(), usage_.c_str());
    return 2;
}

} // namespace tessera::cli
