// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "recording_front_end.h"
#include "shell/session/image_folder_memory.h"
#include "shell/session/updater_app.h"
#include "shell/startup/command_line.h"
#include "shell/startup/device_config.h"

namespace {

std::string WrittenText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

constexpr const char* kDataLossText =
    "Updating deletes all data in the calculator's Main Memory.\r\n"
    "If you need the data, make sure you back it up before updating.\r\n"
    "Use the MEMORY mode backup function to backup data.\r\n\r\n"
    "Do you want to continue with the update?";
constexpr const char* kAlreadyCurrentText =
    "The operating system of your calculator is the same as or later than the operating system "
    "you are trying to update to.\r\nYou do not need to update your operating system.";

class UpdateLoop : public ::testing::Test {
protected:
    // A scripted run: it writes down that it ran, and whether Close was
    // greyed then, and that it was given the application's inputs.
    UpdaterSettings Scripted()
    {
        UpdaterSettings settings;
        settings.takeImages = nullptr;   // scripted runs read no images
        settings.checkImages = CheckImagesFn();
        settings.runUpdate = [this](const UpdateRunInputs& inputs) {
            frontEnd.events.push_back(frontEnd.closeEnabled ? "run (close enabled)" : "run");
            EXPECT_EQ(inputs.port, &frontEnd);
            // The run claims its calculator in the application's list.
            EXPECT_EQ(inputs.claimed->ClaimDevicePath("/dev/ttyS9"), 1);
            EXPECT_EQ(app.ClaimDevicePath("/dev/ttyS9"), 0);
            EXPECT_EQ(inputs.claimed->ReleaseDevicePath("/dev/ttyS9"), 1);
            UpdateOutcome outcome;
            outcome.result = results.front();
            outcome.reason = Message::Raw(outcome.result == Success ? "" : "reason " + std::to_string(outcome.result));
            results.pop_front();
            return outcome;
        };
        return settings;
    }
    void Run(std::deque<int> answers, std::deque<UpdateResult> runResults)
    {
        frontEnd.answers = std::move(answers);
        results = std::move(runResults);
        app.RunUpdateLoop();
        EXPECT_TRUE(frontEnd.answers.empty()) << "boxes left unasked";
        EXPECT_TRUE(results.empty()) << "update runs left unrun";
    }

    RecordingFrontEnd frontEnd;
    std::deque<UpdateResult> results;
    CUpdaterApp app{&frontEnd, Scripted()};
};

const std::vector<std::string> kPrompts = {
    "box Connect the calculator.", "box Warning",
    "box Delete all data in calculator's Main Memory."};

std::vector<std::string> Then(std::vector<std::string> head, const std::vector<std::string>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST_F(UpdateLoop, PromptsHaveTheirExactTextsAndStyles)
{
    Run({IDOK, IDOK, IDCANCEL}, {});
    ASSERT_EQ(frontEnd.texts.size(), 3u);
    EXPECT_EQ(frontEnd.texts[0], "Please connect the calculator.");
    EXPECT_EQ(frontEnd.texts[1], kDataLossText);
    EXPECT_EQ(frontEnd.texts[2], "Are you sure?");
    EXPECT_EQ(frontEnd.styles, (std::vector<unsigned>{0x30, 0x131, 0x131}));
}

TEST_F(UpdateLoop, CancelAtTheFirstWarningEndsWithoutASecondBoxOrARun)
{
    Run({IDOK, IDCANCEL}, {});
    EXPECT_EQ(frontEnd.events, (std::vector<std::string>{"box Connect the calculator.",
                                                         "box Warning", "quit 18"}));
}

TEST_F(UpdateLoop, CancelAtAreYouSureEndsWithoutARun)
{
    Run({IDOK, IDOK, IDCANCEL}, {});
    EXPECT_EQ(frontEnd.events, Then(kPrompts, {"quit 18"}));
}

// Anything but OK at the connect prompt (a box that cannot be shown, or the
// console's Ctrl+C, whose quit is the console's own) ends the loop without
// a run and without a quit request of the loop's.
TEST_F(UpdateLoop, AConnectPromptThatCannotBeShownEndsTheLoopWithoutAQuitRequest)
{
    for (const int answer : {0, IDCANCEL}) {
        frontEnd.events.clear();
        Run({answer}, {});
        EXPECT_EQ(frontEnd.events, (std::vector<std::string>{"box Connect the calculator."})) << answer;
    }
}

TEST_F(UpdateLoop, EachFailureIsReportedUnderErrorWithCloseStillGreyedThenQuits)
{
    const std::vector<std::pair<UpdateResult, std::string>> failures = {
        {Failed, "Update failed."},
        {UnsupportedModel, "Your calculator is a model that is not supported."},
        {AlreadyCurrent, kAlreadyCurrentText}};
    for (const auto& [result, text] : failures) {
        SCOPED_TRACE(text);
        frontEnd.events.clear();
        frontEnd.texts.clear();
        frontEnd.styles.clear();
        Run({IDOK, IDOK, IDOK, IDOK}, {result});
        EXPECT_EQ(frontEnd.events,
                  Then(kPrompts, {"close greyed", "run", "box Error (close greyed)", "quit 18",
                                  "close enabled"}));
        EXPECT_EQ(frontEnd.texts.back(), text);
        EXPECT_EQ(frontEnd.styles.back(), 0x30u);
        EXPECT_EQ(frontEnd.details.back(), "reason " + std::to_string(result));   // shown beside the text
    }
}

TEST_F(UpdateLoop, SuccessThenOkMakesASecondPassAndCancelThenQuits)
{
    Run({IDOK, IDOK, IDOK, IDOK, IDOK, IDOK, IDOK, IDCANCEL}, {Success, Success});
    const std::vector<std::string> pass =
        Then(kPrompts, {"close greyed", "run", "box Complete (close greyed)"});
    EXPECT_EQ(frontEnd.events,
              Then(Then(pass, {"close enabled"}), Then(pass, {"quit 18", "close enabled"})));
    EXPECT_EQ(frontEnd.texts[3], "Update is complete.\r\nDo you want to continue with the update?");
    EXPECT_EQ(frontEnd.styles[3], 0x1u);
}

TEST_F(UpdateLoop, ASuccessfulPassFollowedByAFailureEndsAfterTheFailure)
{
    Run({IDOK, IDOK, IDOK, IDOK, IDOK, IDOK, IDOK, IDOK}, {Success, Failed});
    EXPECT_EQ(frontEnd.events.back(), "close enabled");
    EXPECT_EQ(frontEnd.events[frontEnd.events.size() - 2], "quit 18");
    EXPECT_EQ(frontEnd.texts.back(), "Update failed.");
}

TEST_F(UpdateLoop, AnUnknownResultCountsAsSuccess)
{
    Run({IDOK, IDOK, IDOK, IDCANCEL}, {static_cast<UpdateResult>(7)});
    EXPECT_EQ(frontEnd.texts.back(), "Update is complete.\r\nDo you want to continue with the update?");
}

TEST_F(UpdateLoop, WithoutACloseCommandNothingIsEnabledAfterTheRun)
{
    frontEnd.hasCloseCommand = false;
    Run({IDOK, IDOK, IDOK, IDOK}, {Failed});
    EXPECT_EQ(frontEnd.events.back(), "quit 18");
}

// A folder whose images cannot be used is said before the connect prompt
// and any warning: in a box that names the folder (and, given no folder,
// where one is named), or with --yes and --json in one line and exit 4.
TEST_F(UpdateLoop, ImagesThatCannotBeUsedAreSaidBeforeAnyQuestion)
{
    for (const bool strict : {false, true}) {
        for (const std::string& folder : {std::string("/srv/empty/"), std::string()}) {
            SCOPED_TRACE(std::string(strict ? "strict " : "") + folder);
            RecordingFrontEnd seen;
            UpdaterSettings settings;
            settings.strict = strict;
            settings.baseDir = folder;
            settings.machineConfigFile = "/etc/zentrix-update/zentrix-update.conf";
            settings.checkImages = [](const std::string&, Message& problem) {
                problem = Message::Raw("image missing: UpdateExe.bin");
                return false;
            };
            std::vector<std::string> told;
            settings.tellService = [&told](const std::string& state) { told.push_back(state); };
            settings.runUpdate = [](const UpdateRunInputs&) {
                ADD_FAILURE() << "no run with images that cannot be used";
                return UpdateOutcome{};
            };
            CUpdaterApp loop(&seen, std::move(settings));
            seen.answers = {IDOK};
            loop.RunUpdateLoop();
            ASSERT_EQ(seen.events.size(), 2u);
            const std::string said = strict ? seen.events[0] : seen.texts.at(0);
            EXPECT_NE(said.find("the folder " + (folder.empty() ? std::string(".") : folder) + " must hold"),
                      std::string::npos) << said;
            EXPECT_EQ(said.find("image-folder = FOLDER in /etc/zentrix-update/zentrix-update.conf") !=
                          std::string::npos,
                      folder.empty()) << said;
            EXPECT_EQ(seen.events[0].rfind(strict ? "warn the images cannot be used: " : "box Error", 0), 0u);
            EXPECT_EQ(seen.events[1], "quit 18");
            EXPECT_EQ(loop.Tally().ExitCode(), strict ? kExitImages : kExitNoneFound);
            // The service manager hears it too (a station's status line).
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(told[0].rfind("STATUS=the images cannot be used: image missing", 0), 0u) << told[0];
        }
    }
}

// A main window that only starts the loop it is given.
std::unique_ptr<IMainWindow> StartingWindow(int /*owner*/, StartLoop start)
{
    struct Window : IMainWindow {
        StartLoop start;
        void DoModal() override { start(); }
    };
    auto window = std::make_unique<Window>();
    window->start = std::move(start);
    return window;
}

TEST(StartUp, WithoutAFolderWhereThereAreNoImagesTheFolderIsAskedForFirst)
{
    namespace fs = std::filesystem;
    // A fresh empty folder, made portably (the test runs on Windows too).
    fs::path empty;
    for (int attempt = 0; empty.empty() && attempt < 100; ++attempt) {
        const fs::path candidate = fs::temp_directory_path() /
            ("zx-start-" + std::to_string(std::random_device{}()));
        if (fs::create_directory(candidate)) {
            empty = candidate;
        }
    }
    ASSERT_FALSE(empty.empty());
    const fs::path cwd = fs::current_path();
    fs::current_path(empty);
    // The folder chosen is kept in the user's configuration file, whose other
    // lines stay, and offered the next time.
    const fs::path config = fs::path(empty) / "conf" / "zentrix-update.conf";
    fs::create_directories(config.parent_path());
    std::ofstream(config) << "device = /dev/ttyUSB7\nimage-folder = /old/images\n";
    for (const bool decline : {false, true}) {
        RecordingFrontEnd frontEnd;
        // A folder without the images is refused first, with what is missing.
        frontEnd.triedFolders = {"/srv/empty"};
        frontEnd.chosenFolder = "/srv/images";
        frontEnd.declineFolder = decline;
        frontEnd.answers = {IDOK, IDCANCEL};
        UpdaterSettings settings;
        settings.createMainWindow = &StartingWindow;
        settings.runUpdate = [](const UpdateRunInputs&) { return UpdateOutcome{}; };
        settings.checkImages = [](const std::string& baseDir, Message& problem) {
            problem = Message::Raw("image missing: UpdateCode.bin");
            return baseDir == BaseDirectoryFor("/srv/images");
        };
        settings.userConfigFile = config.string();
        CUpdaterApp app(&frontEnd, std::move(settings));
        app.InitInstance(ParseProgramOptions({"zentrix-update"}).launcher);
        EXPECT_EQ(frontEnd.offeredFolder, decline ? "/srv/images" : "/old/images");
        EXPECT_EQ(WrittenText(config), "device = /dev/ttyUSB7\nimage-folder = /srv/images\n");
        const std::string refused =
            "folder refused: image missing: UpdateCode.bin: the folder " + BaseDirectoryFor("/srv/empty") +
            " must hold the updater stub UpdateExe.bin and the OS image UpdateCode.bin; put them there, or start "
            "the program with the folder that holds them";
        if (decline) {
            EXPECT_EQ(frontEnd.events, (std::vector<std::string>{"choose folder", refused, "quit 18"}));
        } else {
            EXPECT_EQ(frontEnd.events, (std::vector<std::string>{"choose folder", refused, "box Connect the calculator.",
                                                                 "box Warning", "quit 18"}));
            EXPECT_EQ(app.BaseDir(), BaseDirectoryFor("/srv/images"));
        }
    }
    // A configuration file that is a link is not written through (where
    // links can be made: not under wine).
    const fs::path link = fs::path(empty) / "conf" / "link.conf";
    std::error_code noLinks;
    fs::create_symlink(config, link, noLinks);
    if (!noLinks) {
        EXPECT_NE(RememberImageFolder(link.string(), "/elsewhere").English(), "");
    }
    EXPECT_EQ(RememberedImageFolder(config.string()), "/srv/images");
    // A folder given on the command line, or images where it starts: no
    // question, the connect prompt first.
    const auto firstAsked = [](const std::vector<std::string>& arguments) {
        RecordingFrontEnd frontEnd;
        frontEnd.declineFolder = true;
        UpdaterSettings settings;
        settings.checkImages = CheckImagesFn();
        settings.createMainWindow = &StartingWindow;
        CUpdaterApp app(&frontEnd, std::move(settings));
        app.InitInstance(ParseProgramOptions(arguments).launcher);
        return frontEnd.events.empty() ? std::string() : frontEnd.events.front();
    };
    EXPECT_EQ(firstAsked({"zentrix-update"}), "choose folder");
    EXPECT_EQ(firstAsked({"zentrix-update", empty.string()}), "box Connect the calculator. (unscripted)");
    std::ofstream("UpdateExe.bin") << 'x';
    std::ofstream("UpdateCode.bin") << 'x';
    EXPECT_EQ(firstAsked({"zentrix-update"}), "box Connect the calculator. (unscripted)");
    fs::current_path(cwd);
    fs::remove_all(empty);
}

// What a main window saw of start-up when it was run.
struct StartUpSeen {
    int runs = 0;
    std::string baseDir;
    bool wasMainWindow = false;
};

class CRecordingMainWindow : public IMainWindow {
public:
    void DoModal() override
    {
        ++m_seen.runs;
        m_seen.baseDir = m_app.BaseDir();
        m_seen.wasMainWindow = m_app.MainWindow() == this;
        m_start();
    }

    CRecordingMainWindow(StartUpSeen& seen, CUpdaterApp& app, StartLoop start)
        : m_seen(seen), m_app(app), m_start(std::move(start))
    {
    }

private:
    StartUpSeen& m_seen;
    CUpdaterApp& m_app;
    StartLoop m_start;
};

TEST(StartUp, SetsTheBaseDirectoryAndMainWindowBeforeRunningItOnce)
{
    RecordingFrontEnd frontEnd;   // answers nothing: the loop ends at the connect prompt
    UpdaterSettings settings;
    settings.checkImages = CheckImagesFn();   // no images are read
    CUpdaterApp app(&frontEnd, std::move(settings));
    StartUpSeen seen;
    int ownerSeen = -1;
    app.SetMainWindowFactory([&](int owner, StartLoop start) {
        ownerSeen = owner;
        return std::unique_ptr<IMainWindow>(std::make_unique<CRecordingMainWindow>(seen, app, std::move(start)));
    });

    EXPECT_FALSE(app.InitInstance(ParseProgramOptions({"zentrix-update", "/srv/img/", "12ab"}).launcher));
    EXPECT_EQ(ownerSeen, 12);
    EXPECT_EQ(seen.runs, 1);
    EXPECT_EQ(seen.baseDir, std::string("/srv/img/") + kDirectorySeparator);
    EXPECT_TRUE(seen.wasMainWindow);
    EXPECT_EQ(app.MainWindow(), nullptr);
    // The window started the loop it was given: the connect prompt was shown.
    EXPECT_EQ(frontEnd.events, (std::vector<std::string>{"box Connect the calculator. (unscripted)"}));

    EXPECT_FALSE(app.InitInstance(ParseProgramOptions({"zentrix-update"}).launcher));
    EXPECT_EQ(ownerSeen, 0);
    EXPECT_EQ(seen.baseDir, "");
}

}  // namespace

namespace {

// Nothing configured: the chooser comes before the connect prompt, the run
// looks only where the user pointed, and "Remember" writes what finds that
// calculator again, so that the next start needs no chooser.
TEST(DeviceChooser, ThePickIsWhatTheRunSearchesAndRememberingMakesItConfigured)
{
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() /
                          ("zx-chooser-" + std::to_string(std::random_device{}())) / "zentrix-update.conf";
    ListedDevice usb;
    usb.path = "usb:3:9";
    usb.usb = usb.found = true;
    usb.vendor = 0x1a2b;
    usb.product = 0x5e01;
    ListedDevice serial;
    serial.path = "/dev/ttyUSB4";
    struct Case {
        ChooserAnswer answer;
        std::vector<size_t> chosen;
        bool remember;
        std::vector<std::string> searched;   // what the run enumerates
        std::string remembered;              // the file afterwards
    };
    const std::vector<Case> cases = {
        {ChooserAnswer::Chosen, {0}, true, {"usb:3:9"},
         "# remembered by the device chooser\nusb-id = 1a2b:5e01\n"},
        {ChooserAnswer::Chosen, {1}, false, {"/dev/ttyUSB4"}, ""},
        {ChooserAnswer::Chosen, {0, 1}, true, {"usb:3:9", "/dev/ttyUSB4"},
         "# remembered by the device chooser\nusb-id = 1a2b:5e01\ndevice = /dev/ttyUSB4\n"},
        {ChooserAnswer::Cancelled, {}, true, {}, ""},
    };
    for (const Case& c : cases) {
        fs::remove_all(file.parent_path());
        RecordingFrontEnd frontEnd;
        frontEnd.chooserAnswer = c.answer;
        frontEnd.chooserResult = {c.chosen, c.remember, {}};
        frontEnd.answers = {IDOK, IDOK, IDOK, IDCANCEL};
        UpdaterSettings settings;
        settings.devices = DeviceChoice{};
        settings.offerChooser = true;
        settings.takeImages = nullptr;   // the scripted run needs no images
        settings.checkImages = CheckImagesFn();
        settings.userConfigFile = file.string();
        settings.listCandidates = [&] { return std::vector<ListedDevice>{usb, serial}; };
        std::vector<std::string> searched;
        settings.runUpdate = [&](const UpdateRunInputs& inputs) {
            char path[64];
            for (int32_t index = 0; (index = inputs.devices->EnumerateDevicePath(index, path, sizeof path)) != -1;) {
                searched.emplace_back(path);
            }
            return UpdateOutcome{};
        };
        CUpdaterApp app(&frontEnd, std::move(settings));
        app.RunUpdateLoop();
        if (c.answer == ChooserAnswer::Cancelled) {
            EXPECT_EQ(frontEnd.events, (std::vector<std::string>{"choose device of 2", "quit 18"}));
        } else {
            EXPECT_EQ(frontEnd.events.front(), "choose device of 2");
            EXPECT_EQ(frontEnd.events.at(1), "box Connect the calculator.");
        }
        EXPECT_EQ(searched, c.searched);
        std::ifstream in(file);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.remembered);
        if (!c.remembered.empty()) {
            // The next start reads the file: a calculator is configured.
            DeviceSources sources;
            sources.userFile = file.string();
            const ResolvedDevices next = ResolveDevices(sources);
            EXPECT_TRUE(next.choice.NamesAnyDevice());
            EXPECT_TRUE(next.warnings.empty());
        }
    }
    fs::remove_all(file.parent_path());
    // In --all and --watch several may be picked.
    RecordingFrontEnd frontEnd;
    UpdaterSettings settings;
    settings.mode = UpdateMode::All;
    settings.offerChooser = true;
    settings.checkImages = CheckImagesFn();   // no images are read
    settings.listCandidates = [] { return std::vector<ListedDevice>{}; };
    CUpdaterApp app(&frontEnd, std::move(settings));
    app.RunUpdateLoop();
    EXPECT_EQ(frontEnd.events.front(), "choose device of 0 several");
}

}  // namespace
