#pragma once
// What the program was asked to do by its command line.
#include <optional>
#include <string>
#include <vector>

#include "dialer/dial_request.h"

struct CommandLine {
    enum class Action { Run, Help, Version, Usage };
    Action action = Action::Run;
    std::optional<DialRequest> number;  // Run: the number to start with, if one was given
    std::string error;                  // Usage: what was wrong, for standard error
};

// args: the arguments after the program's name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The --help text, for standard output; its first line is also the usage line
// shown on standard error after a wrong command line.
std::string HelpText();
std::string UsageLine();
// The --version line: the version the About box shows.
std::string VersionLine();
