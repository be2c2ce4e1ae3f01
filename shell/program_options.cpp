// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own options on the command line, and what is said about the
// ones it does not know.
#include <algorithm>
#include <array>
#include <string_view>

#include "device/device_choice.h"
#include "device/safe_text.h"
#include "i18n/message.h"
#include "shell/command_line.h"
#include "shell/problem_report.h"
#include "update/sha256.h"

namespace {

// How much of an argument a warning echoes: enough to recognise it.
constexpr size_t kShownArgumentChars = 60;

struct KnownOption {
    std::string_view name;
    ProgramOption option;
};

constexpr std::array<KnownOption, 7> kSwitches = {{
    {"--help", ProgramOption::Help},
    {"-h", ProgramOption::Help},
    {"--version", ProgramOption::Version},
    {"-V", ProgramOption::Version},
    {"--list-devices", ProgramOption::ListDevices},
    {"--all", ProgramOption::All},
    {"--watch", ProgramOption::Watch},
}};
// Switches that change how the console works, not what the program does.
constexpr std::array<std::string_view, 3> kUnattended = {"--yes", "-y", "--json"};
constexpr std::string_view kNoSystemLog = "--no-system-log";
constexpr std::string_view kReportProblem = "--report-problem";
constexpr std::string_view kCheck = "--check";
constexpr std::array<std::string_view, 5> kWithValue = {"--device", "--usb-id", "--grant-access", "--group", "--image-sha256"};

// Edits (insert, delete, replace) that turn `a` into `b`.
size_t EditDistance(std::string_view a, std::string_view b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string_view WithoutDashes(std::string_view text)
{
    const size_t first = text.find_first_not_of('-');
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

// The long option `unknown` was most likely meant to be, or empty.
std::string Suggestion(const std::string& unknown)
{
    std::string_view best;
    size_t bestDistance = 3;   // more edits than this is no suggestion
    auto consider = [&](std::string_view name) {
        if (name.size() < 3) {
            return;
        }
        const size_t distance = WithoutDashes(unknown) == WithoutDashes(name) ? 0 : EditDistance(unknown, name);
        if (distance < bestDistance) {
            best = name;
            bestDistance = distance;
        }
    };
    for (const KnownOption& known : kSwitches) {
        consider(known.name);
    }
    for (std::string_view name : kWithValue) {
        consider(name);
    }
    for (std::string_view name : kUnattended) {
        consider(name);
    }
    consider(kNoSystemLog);
    consider(kCheck);
    consider(kReportProblem);
    return std::string(best);
}

// The first argument that cannot be followed, as the usage error it is
// where the command line must be exact.
void NoteRefused(ProgramOptions& options, const Message& problem)
{
    if (options.refused.Empty()) {
        options.refused = Message(
            N_("%s: nothing was done (with --yes, --json or --report-problem the command line must be exact)"),
            {problem});
    }
}

// An argument that cannot be followed as given: the warning that it is
// ignored, and, for the first one, the usage error it is where the command
// line must be exact.
void Refuse(ProgramOptions& options, const Message& warning, const Message& problem)
{
    options.warnings.push_back(warning);
    NoteRefused(options, problem);
}

void RefuseUnknown(ProgramOptions& options, const std::string& argument)
{
    const std::string shown = SafeText(argument, kShownArgumentChars);
    Message warning(N_("unknown option %s ignored"), {shown});
    Message problem(N_("unknown option %s"), {shown});
    const std::string suggestion = Suggestion(argument.substr(0, argument.find('=')));
    if (!suggestion.empty()) {
        warning = Message(N_("%s (did you mean %s?)"), {warning, suggestion});
        problem = Message(N_("%s (did you mean %s?)"), {problem, suggestion});
    }
    Refuse(options, warning, problem);
}

// Takes the value of a --device, --usb-id or --grant-access at `i` (moving
// `i` past it); false, refused, when there is none.
bool TakeValue(const std::vector<std::string>& arguments, size_t& i, std::string_view name, std::string& value,
               ProgramOptions& options)
{
    const std::string& argument = arguments[i];
    if (argument.size() > name.size() && argument[name.size()] == '=') {
        value = argument.substr(name.size() + 1);
        return true;
    }
    if (i + 1 >= arguments.size()) {
        const std::string shown = SafeText(argument, kShownArgumentChars);
        Refuse(options, Message(N_("%s needs a value; ignored"), {shown}), Message(N_("%s needs a value"), {shown}));
        return false;
    }
    value = arguments[++i];
    return true;
}

void TakeValueOption(const std::vector<std::string>& arguments, size_t& i, std::string_view name,
                     ProgramOptions& options)
{
    std::string value;
    if (!TakeValue(arguments, i, name, value, options)) {
        return;
    }
    if (name == "--device") {
        if (value.empty()) {
            Refuse(options, Message(N_("--device with an empty path ignored")), Message(N_("--device with an empty path")));
        } else {
            options.devices.push_back(value);
        }
    } else if (name == "--usb-id") {
        const std::string id = NormalizedUsbId(value);
        if (id.empty()) {
            const std::string shown = SafeText(value, kShownArgumentChars);
            Refuse(options, Message(N_("--usb-id %s ignored: not a VVVV:PPPP pair of four hex digits each"), {shown}),
                   Message(N_("--usb-id %s is not a VVVV:PPPP pair of four hex digits each"), {shown}));
        } else {
            options.usbIds.push_back(id);
        }
    } else if (name == "--group") {
        options.group = value;
    } else if (name == "--image-sha256") {
        std::string pin;
        if (ParseSha256Hex(value, pin)) {
            options.imageSha256 = pin;
        } else if (options.badPin.Empty()) {
            options.badPin = Message(N_("--image-sha256 %s is not a SHA-256 of 64 hex digits: nothing was done"),
                                     {SafeText(value, kShownArgumentChars)});
        }
    } else {
        options.grantAccess = value;
    }
}

// --report-problem[=FILE] at `i`: FILE is the value after '=', or the next
// argument when it is plain or "-" (moving `i` past it).
void TakeReportFile(const std::vector<std::string>& arguments, size_t& i, ProgramOptions& options)
{
    const std::string& argument = arguments[i];
    std::string file = kDefaultProblemReportFile;
    if (argument.size() > kReportProblem.size() + 1) {
        file = argument.substr(kReportProblem.size() + 1);
    } else if (argument.size() == kReportProblem.size() && i + 1 < arguments.size() &&
               (arguments[i + 1] == "-" || (!arguments[i + 1].empty() && arguments[i + 1][0] != '-'))) {
        file = arguments[++i];
    }
    options.reportProblem = file;
}

bool IsReportProblem(const std::string& argument)
{
    return argument.rfind(kReportProblem, 0) == 0 &&
           (argument.size() == kReportProblem.size() || argument[kReportProblem.size()] == '=');
}

// The plain arguments past those the program reads (DIR and OWNER; none
// beside a report's FILE): refused when the command line must be exact,
// left unread otherwise, as the launcher's contract has it.
void RefuseExtraPlain(ProgramOptions& options, const std::vector<std::string>& launcherArguments)
{
    size_t allowed = options.reportProblem ? 0 : 2;
    for (const std::string& argument : launcherArguments) {
        if (!argument.empty() && argument[0] == '-') {
            continue;
        }
        if (allowed == 0) {
            NoteRefused(options, Message(N_("unexpected argument %s"), {SafeText(argument, kShownArgumentChars)}));
            return;
        }
        --allowed;
    }
}

// The option an argument names: a switch, an option with a value, or none.
const KnownOption* FindSwitch(const std::string& argument)
{
    for (const KnownOption& known : kSwitches) {
        if (argument == known.name) {
            return &known;
        }
    }
    return nullptr;
}

std::string_view FindWithValue(const std::string& argument)
{
    for (std::string_view name : kWithValue) {
        if (argument.rfind(name, 0) == 0 && (argument.size() == name.size() || argument[name.size()] == '=')) {
            return name;
        }
    }
    return {};
}

// --all and --watch ask for two ways of working: the first given wins.
void NoteContradiction(ProgramOptions& options, const std::vector<std::string>& modes)
{
    if (modes.size() < 2) {
        return;
    }
    for (size_t i = 1; i < modes.size(); ++i) {
        if (modes[i] != modes[0]) {
            options.warnings.push_back(
                Message(N_("%s and %s cannot both be used; %s (given first) wins"), {modes[0], modes[i], modes[0]}));
            return;
        }
    }
}

}  // namespace

ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments)
{
    ProgramOptions options;
    std::vector<std::string> modes;
    std::vector<std::string> launcherArguments;   // every argument but our options' values
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        launcherArguments.push_back(argument);
        if (argument.empty() || argument[0] != '-') {
            continue;
        }
        if (const KnownOption* known = FindSwitch(argument)) {
            if (options.option == ProgramOption::None) {
                options.option = known->option;
            }
            if (known->option == ProgramOption::All || known->option == ProgramOption::Watch) {
                modes.push_back(argument);
            }
        } else if (std::find(kUnattended.begin(), kUnattended.end(), argument) != kUnattended.end()) {
            (argument == "--json" ? options.json : options.assumeYes) = true;
        } else if (argument == kCheck) {
            options.check = true;
        } else if (argument == kNoSystemLog) {
            options.noSystemLog = true;
        } else if (IsReportProblem(argument)) {
            TakeReportFile(arguments, i, options);
        } else if (const std::string_view name = FindWithValue(argument); !name.empty()) {
            TakeValueOption(arguments, i, name, options);
        } else {
            RefuseUnknown(options, argument);
        }
    }
    NoteContradiction(options, modes);
    RefuseExtraPlain(options, launcherArguments);
    ParseCommandLine(launcherArguments, options.launcher);
    return options;
}
