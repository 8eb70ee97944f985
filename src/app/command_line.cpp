#include "app/command_line.h"

#include "resources/version.h"

namespace {
CommandLine Only(CommandLine::Action action) {
    CommandLine c;
    c.action = action;
    return c;
}

CommandLine Usage(std::string error) {
    CommandLine c = Only(CommandLine::Action::Usage);
    c.error = std::move(error);
    return c;
}
}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine result;
    bool dial = false;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                optionsEnded = true;
            } else if (arg == "--help" || arg == "-h") {
                return Only(CommandLine::Action::Help);
            } else if (arg == "--version") {
                return Only(CommandLine::Action::Version);
            } else if (arg == "--dial") {
                dial = true;
            } else {
                return Usage("unknown option '" + arg + "'");
            }
            continue;
        }
        if (result.number) return Usage("more than one number: '" + arg + "'");
        result.number = DialRequest{arg, false};
    }
    if (dial && !result.number) return Usage("--dial needs a NUMBER to dial");
    if (result.number) result.number->dialNow = dial;
    return result;
}

std::string VersionLine() { return "vantrel " VANTREL_VERSION_LABEL "\n"; }

std::string UsageLine() { return "Usage: vantrel [--dial] [NUMBER | tel:NUMBER]\n"; }

std::string HelpText() {
    return UsageLine() +
           "Telephone dialer: dials a number as touch tones through the speaker or\n"
           "with AT commands through a modem on a serial port.\n"
           "\n"
           "  NUMBER, tel:NUMBER  start with this number in the dial field instead of\n"
           "                      the last one; when Vantrel is already running, the\n"
           "                      number goes to its window instead\n"
           "  --dial              also press Dial once the number is in\n"
           "  -h, --help          show this help and exit\n"
           "  --version           show the version and exit\n"
           "\n"
           "A number may hold digits, * # A-D and the pauses , and -; blanks and\n"
           "( ) . / are dropped, and a leading + becomes the IntlPrefix set in the\n"
           "[Dial] section of the profile. In a tel: link everything from the first\n"
           "; on is dropped.\n"
           "\n"
           "Profile: $XDG_CONFIG_HOME/vantrel.ini (normally ~/.config/vantrel.ini).\n"
           "See vantrel(1) for the profile's [Ports] section and more.\n";
}
