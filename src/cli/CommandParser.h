// Each command's arguments, read by CLI11: `tessera COMMAND --help` lists them; an unknown
// option, a missing value or a missing operand is refused with the usage line and exit status
// 2. "-log N", the diagnostic level that every command and the app accept with one dash, is
// checked (0 to 3) and taken out before CLI11 reads the rest.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <span>
#include <string>

namespace tessera::cli {

class CommandParser {
public:
    /// `usage` is the command's usage line(s), ending in a newline. An empty `command` reads
    /// the arguments of tessera itself.
    CommandParser(std::string command, std::string description, std::string usage);

    CLI::App& app() { return app_; }
    bool given(const std::string& option) const { return app_.count(option) > 0; }

    /// Reads `arguments`. None to go on; otherwise the exit status to end with: 0 after
    /// --help (printed on standard output), 2 after a bad argument (said on standard error).
    std::optional<int> parse(std::span<const std::string> arguments);
    /// Says why an argument cannot be used (found after reading them all), with the usage
    /// line; returns the exit status 2.
    int refuse(const std::string& why) const;

private:
    std::string command_;
    std::string usage_;
    CLI::App app_;
};

} // namespace tessera::cli
