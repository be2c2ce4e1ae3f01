// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <regex>
#include <set>

#include "shell/startup/command_line.h"
#include "shell/startup/device_config.h"
#include "shell/startup/since_option.h"
#include "shell/startup/ui_mode.h"

namespace {

struct Parsed {
    std::string fileName;
    std::string ownerText;
};

Parsed Parse(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "zentrix-update");
    const CUpdaterCommandLineInfo info = ParseProgramOptions(arguments).launcher;
    return Parsed{info.m_strFileName, info.m_strPrinterName};
}

TEST(CommandLine, DirectoryIsFirstNonEmptyPlainArgumentOwnerIsLastPlainArgument)
{
    EXPECT_EQ(Parse({}).fileName, "");
    EXPECT_EQ(Parse({}).ownerText, "");

    const Parsed one = Parse({"/srv/img"});
    EXPECT_EQ(one.fileName, "/srv/img");
    EXPECT_EQ(one.ownerText, "");

    // A lone argument is the image directory, even when it starts with
    // digits: the owner is read only when the launcher passes both.
    const Parsed number = Parse({"2024-images"});
    EXPECT_EQ(number.fileName, "2024-images");
    EXPECT_EQ(number.ownerText, "");
    EXPECT_EQ(Parse({"-x", "1234", "-y"}).ownerText, "");

    const Parsed two = Parse({"/srv/img", "1234"});
    EXPECT_EQ(two.fileName, "/srv/img");
    EXPECT_EQ(two.ownerText, "1234");

    const Parsed three = Parse({"A", "B", "1234"});
    EXPECT_EQ(three.fileName, "A");
    EXPECT_EQ(three.ownerText, "1234");

    const Parsed emptyFirst = Parse({"", "1234"});
    EXPECT_EQ(emptyFirst.fileName, "1234");
    EXPECT_EQ(emptyFirst.ownerText, "1234");
}

TEST(CommandLine, FlagsAreIgnoredAndALastFlagLeavesNoOwner)
{
    const Parsed lastFlag = Parse({"/srv/img", "1234", "-x"});
    EXPECT_EQ(lastFlag.fileName, "/srv/img");
    EXPECT_EQ(lastFlag.ownerText, "");

    const Parsed flagFirst = Parse({"-v", "dir", "77"});
    EXPECT_EQ(flagFirst.fileName, "dir");
    EXPECT_EQ(flagFirst.ownerText, "77");

    // A slash begins an absolute path here, not a flag.
    EXPECT_EQ(Parse({"/x"}).fileName, "/x");
}

TEST(CommandLine, ParseParamReplacesTheOwnerTextOnlyForAPlainLastArgument)
{
    CUpdaterCommandLineInfo info;
    info.ParseParam("first", false, false);
    info.ParseParam("9", false, true);
    info.ParseParam("8", true, true);   // a flag changes nothing
    EXPECT_EQ(info.m_strFileName, "first");
    EXPECT_EQ(info.m_strPrinterName, "9");
}

TEST(CommandLine, BaseDirectoryAlwaysGetsOneSeparatorAppended)
{
    EXPECT_EQ(BaseDirectoryFor(""), "");
    const std::string sep(1, kDirectorySeparator);
    EXPECT_EQ(BaseDirectoryFor("/srv/img"), "/srv/img" + sep);
    EXPECT_EQ(BaseDirectoryFor("/srv/img" + sep), "/srv/img" + sep + sep);
    EXPECT_EQ(BaseDirectoryFor("1234"), "1234" + sep);
}

TEST(CommandLine, OwnerNumberIsReadLikeAtoi)
{
    EXPECT_EQ(OwnerNumberFromText(""), 0);
    EXPECT_EQ(OwnerNumberFromText("/srv/img"), 0);
    EXPECT_EQ(OwnerNumberFromText("1234"), 1234);
    EXPECT_EQ(OwnerNumberFromText("12ab"), 12);
    EXPECT_EQ(OwnerNumberFromText("  \t+42"), 42);
    EXPECT_EQ(OwnerNumberFromText("-7"), -7);
    EXPECT_EQ(OwnerNumberFromText("- 7"), 0);
    EXPECT_EQ(OwnerNumberFromText("2147483647"), 2147483647);
    // Beyond the int range the value is held at the end instead of wrapping.
    EXPECT_EQ(OwnerNumberFromText("99999999999999999999"), 2147483647);
    EXPECT_EQ(OwnerNumberFromText("-99999999999999999999"), -2147483647 - 1);
}

TEST(UiMode, ForcedModeWinsOtherwiseADisplayMeansTheDesktop)
{
    EXPECT_EQ(ChooseUiMode(nullptr, ":0", nullptr), UiMode::Gui);
    EXPECT_EQ(ChooseUiMode(nullptr, nullptr, "wayland-0"), UiMode::Gui);
    EXPECT_EQ(ChooseUiMode(nullptr, nullptr, nullptr), UiMode::Console);
    EXPECT_EQ(ChooseUiMode(nullptr, "", ""), UiMode::Console);
    EXPECT_EQ(ChooseUiMode("console", ":0", "wayland-0"), UiMode::Console);
    EXPECT_EQ(ChooseUiMode("gui", nullptr, nullptr), UiMode::Gui);
    bool unknown = false;
    EXPECT_EQ(ChooseUiMode("other", ":0", nullptr, &unknown), UiMode::Gui);   // warned, then automatic
    EXPECT_TRUE(unknown);
    EXPECT_EQ(ChooseUiMode("", nullptr, nullptr, &unknown), UiMode::Console);
    EXPECT_FALSE(unknown);
    // --yes and --json choose the console on a desktop; asked for, the window
    // is still chosen (and refused by the program).
    EXPECT_EQ(ChooseUiMode(nullptr, ":0", "wayland-0", nullptr, true), UiMode::Console);
    EXPECT_EQ(ChooseUiMode("gui", ":0", nullptr, nullptr, true), UiMode::Gui);
    EXPECT_EQ(ChooseUiMode("other", ":0", nullptr, &unknown, true), UiMode::Console);
    EXPECT_TRUE(unknown);
}

TEST(UiMode, OnWindowsTheConsoleIsUsedWhereTheProgramWasStartedOnOne)
{
    // From a command prompt: the console is shared, whatever else holds.
    EXPECT_TRUE(StartedOnConsole({2, true, true}));
    EXPECT_TRUE(StartedOnConsole({3, true, false}));
    // A console without a window: nobody could see a window's question there either.
    EXPECT_TRUE(StartedOnConsole({1, false, false}));
    // Explorer or a launcher made a console for this program alone.
    EXPECT_FALSE(StartedOnConsole({1, true, true}));
    // No console: a terminal or pipe outside Windows' consoles gives input;
    // nothing at all means the window.
    EXPECT_TRUE(StartedOnConsole({0, false, true}));
    EXPECT_FALSE(StartedOnConsole({0, false, false}));
}

TEST(ProgramOptions, TheFirstOfOurOwnWinsOthersAreIgnored)
{
    EXPECT_EQ(ParseProgramOptions({"zentrix-update"}).option, ProgramOption::None);
    EXPECT_EQ(ParseProgramOptions({"zentrix-update", "dir", "-x", "--verbose"}).option, ProgramOption::None);
    EXPECT_EQ(ParseProgramOptions({"zentrix-update", "-h"}).option, ProgramOption::Help);
    EXPECT_EQ(ParseProgramOptions({"zentrix-update", "dir", "--version", "--help"}).option, ProgramOption::Version);
    EXPECT_EQ(ParseProgramOptions({"zentrix-update", "-V"}).option, ProgramOption::Version);
    EXPECT_EQ(ParseProgramOptions({"zentrix-update", "--list-devices"}).option, ProgramOption::ListDevices);
    EXPECT_EQ(ParseProgramOptions({"zentrix-update", "--all", "dir"}).option, ProgramOption::All);
    EXPECT_EQ(ParseProgramOptions({"zentrix-update", "dir", "--watch"}).option, ProgramOption::Watch);
    EXPECT_EQ(ParseProgramOptions({"zentrix-update", "--allx", "--watching"}).option, ProgramOption::None);
    // An option is a whole argument: a folder named like one is still a folder.
    EXPECT_EQ(ParseProgramOptions({"zentrix-update", "--helpful"}).option, ProgramOption::None);
}

}  // namespace

namespace {

// The values of --device and --usb-id are theirs: never the image folder or
// the owner, wherever they stand.
TEST(CommandLine, OptionValuesAreNeitherTheFolderNorTheOwner)
{
    const Parsed before = Parse({"--device", "/dev/ttyUSB0", "/srv/img", "1234"});
    EXPECT_EQ(before.fileName, "/srv/img");
    EXPECT_EQ(before.ownerText, "1234");
    const Parsed after = Parse({"/srv/img", "--usb-id", "1a2b:5e01"});
    EXPECT_EQ(after.fileName, "/srv/img");
    EXPECT_EQ(after.ownerText, "");
    EXPECT_EQ(Parse({"--device=/dev/ttyACM0", "/srv/img"}).fileName, "/srv/img");

    const ProgramOptions options = ParseProgramOptions(
        {"zentrix-update", "--device", "/dev/a", "--usb-id", "1A2B:5E01", "--device=/dev/b", "--all", "--device"});
    EXPECT_EQ(options.option, ProgramOption::All);
    EXPECT_EQ(options.devices, (std::vector<std::string>{"/dev/a", "/dev/b"}));
    EXPECT_EQ(options.usbIds, (std::vector<std::string>{"1a2b:5e01"}));
    EXPECT_EQ(RenderAll(options.warnings, nullptr),
              (std::vector<std::string>{"--device needs a value; ignored"}));

    // --history's options are read by the same parser; --since's moment is
    // the history's form of it.
    const HistoryOptions history =
        ParseProgramOptions({"zentrix-update", "--from", "a", "--history", "--from=-", "--since", "2026-12-01T10:00Z",
                             "--csv", "--by-calculator", "--needs=01.05.0000"},
                            std::chrono::sys_days(std::chrono::year(2026) / 12 / 8))
            .history;
    EXPECT_TRUE(history.asked);
    EXPECT_EQ(history.from, (std::vector<std::string>{"a", "-"}));
    EXPECT_EQ(history.sinceTime, "2026-12-01T10:00:00Z");
    EXPECT_EQ(history.format, HistoryFormat::Csv);
    EXPECT_TRUE(history.byCalculator);
    EXPECT_EQ(history.needs.value_or(""), "01.05.0000");
}

// What is only a warning for a person is, with --yes or --json, the usage
// error of the first argument that cannot be followed, naming it.
TEST(ProgramOptions, WithoutAnyoneToReadAWarningTheFirstFaultyArgumentIsRefused)
{
    const std::string tail = ": nothing was done (with --yes, --json or --report-problem the command line must be exact)";
    const struct {
        std::vector<std::string> arguments;
        std::string refused;   // empty: none
        std::string report = "";   // the report's file; empty: no report asked for
        std::string misplaced = "";   // an option given in a mode it does not go with
    } cases[] = {
        {{"--dry-run", "--yes", "--device", "/dev/a"}, "unknown option --dry-run"},
        {{"--json", "--al"}, "unknown option --al (did you mean --all?)"},
        {{"--json", "--device"}, "--device needs a value"},
        {{"--device=", "--yes", "--usb-id", "x"}, "--device with an empty path"},
        {{"--yes", "--device", "usb-serial:"}, "--device usb-serial: names no calculator: a serial number or port follows the colon"},
        {{"--json", "--device=usb-port:", "--all"}, "--device usb-port: names no calculator: a serial number or port follows the colon"},
        {{"-y", "--usb-id", "12345:1", "--bogus"}, "--usb-id 12345:1 is not a VVVV:PPPP pair of four hex digits each"},
        {{"--yes", "--all", "--device", "/dev/a", "dir"}, ""},
        {{"--yes", "dir", "0", "extra"}, "unexpected argument extra"},
        {{"--report-problem", "--yes", "--bogus"}, "unknown option --bogus", "zentrix-problem-report.txt"},
        {{"--report-problem", "-"}, "", "-"},
        {{"--report-problem=r.txt", "dir"}, "unexpected argument dir", "r.txt"},
        {{"--report-problem", "r.txt", "extra"}, "unexpected argument extra", "r.txt"},
        {{"--histroy", "--yes"}, "unknown option --histroy (did you mean --history?)"},
        // --history is exact by itself, and its faults are said as they are.
        {{"--history", "--by-calculator", "--needs"}, "--needs needs a value"},
        {{"--history", "dir"}, "unexpected argument dir"},
        {{"--history", "--by-calculator", "--not-seen-since", "May"},
         "--not-seen-since May cannot be read: give YYYY-MM-DD, YYYY-MM-DDTHH:MM[:SS] (with Z or +HH:MM for a time "
         "not local), today, yesterday or Nd (N days ago)"},
        {{"--history", "--since", "12d ago"}, "--since 12d ago cannot be read: give YYYY-MM-DD, YYYY-MM-DDTHH:MM[:SS] "
                                              "(with Z or +HH:MM for a time not local), today, yesterday or Nd (N days ago)"},
        // Each option belongs to some modes; elsewhere it is a usage error.
        {{"--device", "/dev/x", "--history"}, "", "", "--device does not go with --history"},
        {{"--yes", "--history"}, "", "", "--yes does not go with --history"},
        {{"--yes", "--csv"}, "", "", "--csv goes with --history"},
        {{"--json", "--from=f", "--check"}, "", "", "--from FILE goes with --history"},
        {{"--history", "--json", "--csv"}, "", "", "--csv does not go with --json"},
        {{"--history", "--needs", "01.05"}, "", "", "--needs VERSION goes with --by-calculator"},
        {{"--history", "--not-seen-since", "60d"}, "", "", "--not-seen-since DATE goes with --by-calculator"},
        {{"--history", "--from", "-", "--from=-"}, "", "", "--from - can be given only once"},
        {{"--report-problem", "-", "--all"}, "", "-", "--all does not go with --report-problem"},
        {{"--yes", "--list-devices", "--check"}, "", "", "--check does not go with --list-devices"},
        {{"--yes", "--list-devices", "--json"}, "", "", "--json does not go with --list-devices"},
        {{"--json", "--grant-access", "1a2b:5e01", "--device", "/dev/a"}, "", "", "--device does not go with --grant-access"},
        {{"--yes", "--version", "--csv"}, ""},   // what --help and --version print takes no other option
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {"zentrix-update"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const ProgramOptions options = ParseProgramOptions(arguments);
        EXPECT_TRUE(options.Strict());
        const std::string end = options.history.asked ? "" : tail;
        EXPECT_EQ(options.refused.English(), c.refused.empty() ? "" : c.refused + end) << c.refused;
        EXPECT_EQ(options.reportProblem.value_or(""), c.report) << c.refused;
        EXPECT_EQ(options.misplaced.English(),
                  c.misplaced.empty() ? "" : c.misplaced + ": nothing was done");
    }
    // Every option --help names is one the parser knows, and a misspelling
    // of it is pointed at it: the help, the parser and the suggestions read
    // the same declarations.
    const std::string help = UsageText();
    const std::regex option("--[a-z][a-z0-9-]*[a-z0-9]");
    std::set<std::string> named;
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it) {
        named.insert(it->str());
    }
    EXPECT_TRUE(named.count("--history") == 1 && named.count("--report-problem") == 1 && named.count("--needs") == 1);
    for (const std::string& name : named) {
        EXPECT_EQ(ParseProgramOptions({"zentrix-update", "--yes", name}).refused.English().find("unknown option"),
                  std::string::npos)
            << name;
        EXPECT_NE(ParseProgramOptions({"zentrix-update", "--yes", name + "x"}).refused.English().find(
                      "unknown option " + name + "x (did you mean " + name + "?)"),
                  std::string::npos)
            << name;
    }
    // A person reads the warning: the same command line is followed.
    const ProgramOptions lenient = ParseProgramOptions({"zentrix-update", "--dry-run", "--all"});
    EXPECT_FALSE(lenient.Strict());
    EXPECT_EQ(lenient.option, ProgramOption::All);
    EXPECT_EQ(RenderAll(lenient.warnings, nullptr),
              (std::vector<std::string>{"unknown option --dry-run ignored"}));
}

TEST(DeviceConfig, TheUsersFileFollowsXdgTheMachinesFolderCanBeMoved)
{
#ifndef _WIN32
    EXPECT_EQ(UserConfigFile("/cfg", "/home/a", nullptr), "/cfg/zentrix-update/zentrix-update.conf");
    // A relative XDG_CONFIG_HOME is ignored, as the base directory rules say.
    EXPECT_EQ(UserConfigFile("cfg", "/home/a", nullptr), "/home/a/.config/zentrix-update/zentrix-update.conf");
    EXPECT_EQ(UserConfigFile(nullptr, "/home/a/", nullptr), "/home/a/.config/zentrix-update/zentrix-update.conf");
    EXPECT_EQ(UserConfigFile(nullptr, nullptr, nullptr), "");
    EXPECT_EQ(MachineConfigFile(nullptr, nullptr), "/etc/zentrix-update/zentrix-update.conf");
    EXPECT_EQ(MachineConfigFile("/tmp/m", nullptr), "/tmp/m/zentrix-update.conf");
#else
    EXPECT_EQ(UserConfigFile(nullptr, nullptr, "C:\\Users\\a\\AppData\\Local"),
              "C:\\Users\\a\\AppData\\Local\\zentrix-update\\zentrix-update.conf");
    EXPECT_EQ(MachineConfigFile(nullptr, "C:\\ProgramData"), "C:\\ProgramData\\zentrix-update\\zentrix-update.conf");
#endif
}

// system-log = on|off|syslog: the last well-formed line of a file counts, the
// user's file before the machine's, on when neither says; --no-system-log
// is an option of its own, and a misspelling of it is pointed at.
TEST(DeviceConfig, SystemLogIsOnUnlessAFileOrTheCommandLineTurnsItOff)
{
    const struct {
        std::string text;
        std::optional<bool> setting;
    } texts[] = {
        {"device = /dev/a\n", std::nullopt},
        {"system-log = off\n", false},
        {"  system-log=on  \r\n", true},
        {"system-log = off\nsystem-log = maybe\n", false},
        {"system-log = off\nsystem-log = on\n", true},
        {"system-log = syslog\n", true},
        {"# system-log = off\n", std::nullopt},
    };
    for (const auto& t : texts) {
        EXPECT_EQ(SystemLogSetting(ParseConfigText(t.text, "f.conf")), t.setting) << t.text;
    }
    const ConfigFile read = ParseConfigText(
        "system-log = off\nsystem-log = maybe\nsyslog = on\nlabel = /dev/ttyUSB0\nlabel = usb-port:1-2 = Desk\x1b[2J 9\n"
        "device = usb-serial:\nhook-timeout = 0\nnotify = maybe\nhook-timeout = 3600\n",
        "f.conf");
    const DeviceChoice& choice = read.choice;
    const std::vector<Message>& warnings = read.warnings;
    EXPECT_FALSE(choice.NamesAnyDevice());
    ASSERT_EQ(choice.labels.size(), 1u);
    EXPECT_EQ(choice.labels[0].device, "usb-port:1-2");
    EXPECT_EQ(choice.labels[0].name, "Desk\\x1b[2J 9");
    EXPECT_EQ(RenderAll(warnings, nullptr), (std::vector<std::string>{
                            "f.conf:2: system-log is on, off or syslog, not maybe; line ignored",
                            "f.conf:3: unknown key \"syslog\" (known: device, usb-id, label, asset-tag, site, station-name, system-log, "
                            "reply-timeout, image-folder, image-sha256, metrics-file, on-run-end, on-set-end, "
                            "hook-timeout, notify, confirm, confirm-timeout); line ignored",
                            "f.conf:4: a label line is label = DEVICE = NAME, not label = /dev/ttyUSB0; "
                            "line ignored",
                            "f.conf:6: device = usb-serial: names no calculator: a serial number or port follows "
                            "the colon; line ignored",
                            "f.conf:7: hook-timeout is a whole number of seconds from 1 to 3600, not 0; line ignored",
                            "f.conf:8: notify is on or off, not maybe; line ignored"}));
    ASSERT_NE(read.Find("hook-timeout"), nullptr);
    EXPECT_EQ(SettingSeconds(read.Find("hook-timeout")->value), 3600);

    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("zentrix-system-log-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(dir);
    DeviceSources sources;
    sources.userFile = (dir / "user.conf").string();
    sources.machineFile = (dir / "machine.conf").string();
    EXPECT_TRUE(SystemLogWanted(sources));
    std::ofstream(sources.machineFile) << "system-log = off\n";
    EXPECT_FALSE(SystemLogWanted(sources));
    std::ofstream(sources.userFile) << "device = /dev/a\nsystem-log = on\n";
    EXPECT_TRUE(SystemLogWanted(sources));
    EXPECT_FALSE(SystemLogToSyslogOnly(sources));
    std::ofstream(sources.machineFile) << "system-log = syslog\n";
    EXPECT_FALSE(SystemLogToSyslogOnly(sources));   // the user's file decides
    std::filesystem::remove(sources.userFile);
    EXPECT_TRUE(SystemLogWanted(sources));
    EXPECT_TRUE(SystemLogToSyslogOnly(sources));
    std::filesystem::remove_all(dir);

    EXPECT_TRUE(ParseProgramOptions({"zentrix-update", "--all", "--no-system-log"}).noSystemLog);
    EXPECT_FALSE(ParseProgramOptions({"zentrix-update", "--all"}).noSystemLog);
    EXPECT_EQ(ParseProgramOptions({"zentrix-update", "--json", "--no-systemlog"}).refused.English(),
              "unknown option --no-systemlog (did you mean --no-system-log?): nothing was done (with "
              "--yes, --json or --report-problem the command line must be exact)");
}

// --since VALUE as the moment it names, in the records' form; local time
// is UTC here (on Linux), so that midnights are known.
TEST(SinceOption, DatesTimesZonesAndDaysAgoAreReadEverythingElseIsRefused)
{
#ifndef _WIN32
    setenv("TZ", "UTC0", 1);
    tzset();
#endif
    using namespace std::chrono;
    const sys_seconds now = sys_days(year(2026) / December / 8) + hours(6) + minutes(30);
    const struct {
        const char* value;
        const char* moment;   // null: cannot be read
        bool local;           // depends on the local time zone
    } cases[] = {
        {"2026-12-02 05:30-0430", "2026-12-02T10:00:00Z", false},
        {"2024-02-29T23:59:59Z", "2024-02-29T23:59:59Z", false},
        {"2026-12-09", "2026-12-09T00:00:00Z", true},
        {"2026-12-09T07:45", "2026-12-09T07:45:00Z", true},
        {"today", "2026-12-08T00:00:00Z", true},
        {"yesterday", "2026-12-07T00:00:00Z", true},
        {"0d", "2026-12-08T00:00:00Z", true},
        {"10d", "2026-11-28T00:00:00Z", true},
        {"400d", "2025-11-03T00:00:00Z", true},
        {"2026-02-29", nullptr, false},
        {"2026-13-01", nullptr, false},
        {"2026-12-01T10:60Z", nullptr, false},
        {"2026-12-01T10:00+25:00", nullptr, false},
        {"2026-12-01T10", nullptr, false},
        {"2026-12-1", nullptr, false},
        {"2026-12-01Z", nullptr, false},
        {"2026-12-01 ", nullptr, false},
        {"d", nullptr, false},
        {"-3d", nullptr, false},
        {"123456d", nullptr, false},
        {"Today", nullptr, false},
        {"", nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
#ifdef _WIN32
        if (c.local) {
            continue;
        }
#endif
        const std::optional<sys_seconds> at = ParseSinceValue(c.value, now);
        ASSERT_EQ(at.has_value(), c.moment != nullptr);
        if (at) {
            EXPECT_EQ(RecordTimeText(*at), c.moment);
        }
    }
}

}  // namespace
