// SPDX-License-Identifier: GPL-3.0-or-later
// The access helper zentrix-grant-access, and zentrix-update --grant-access
// in front of it, against a temporary rules folder and a stand-in for
// udevadm that records how it was called.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/child_process.h"

namespace {

namespace fs = std::filesystem;

const std::string kRule =
    "# Written by zentrix-update --grant-access 1a2b:5e01: lets the user at the seat open\n"
    "# this Zentrix calculator over USB, and keeps ModemManager off it.\n"
    "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"1a2b\", ATTR{idProduct}==\"5e01\", "
    "TAG+=\"uaccess\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n";
const std::string kRuleFile = "60-zentrix-calculator-1a2b-5e01.rules";
const std::string kUdevCalls =
    "control --reload\n"
    "trigger --action=add --subsystem-match=usb --attr-match=idVendor=1a2b --attr-match=idProduct=5e01\n";
const std::vector<std::string> kAsNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                            "--clear-groups"};

class GrantAccess : public ::testing::Test {
protected:
    GrantAccess()
    {
        std::string pattern = (fs::temp_directory_path() / "zentrix-grant-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "cannot make " << pattern;
            return;
        }
        m_dir = pattern;
        fs::permissions(m_dir, fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
        fs::create_directories(Rules());
        // Writable by anyone: a refusal below is the helper's, not the folder's.
        fs::permissions(Rules(), fs::perms::all);
        WriteUdevadm(0);
    }
    ~GrantAccess() override { fs::remove_all(m_dir); }

    // The stand-in udevadm appends its arguments to udevadm.log, then exits
    // with `code`.
    void WriteUdevadm(int code)
    {
        std::ofstream(Udevadm()) << "#!/bin/sh\necho \"$@\" >>" << (m_dir / "udevadm.log").string() << "\nexit "
                                 << code << "\n";
        fs::permissions(Udevadm(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }

    ProcessResult Helper(std::vector<std::string> argv, bool asNobody = false)
    {
        argv.insert(argv.begin(), ZENTRIX_GRANT_BIN);
        if (asNobody) {
            argv.insert(argv.begin(), kAsNobody.begin(), kAsNobody.end());
        }
        return RunProcess(argv, Env(), "", 30000);
    }
    std::vector<std::string> Env() const
    {
        return {"ZENTRIX_UDEV_RULES_DIR=" + Rules().string(), "ZENTRIX_UDEVADM=" + Udevadm().string(),
                std::string("ZENTRIX_GRANT_HELPER=") + ZENTRIX_GRANT_BIN,
                "ZENTRIX_MACHINE_CONFIG_DIR=" + MachineDir().string()};
    }
    std::vector<std::string> RulesFolder() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Rules())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    fs::path Rules() const { return m_dir / "rules.d"; }
    fs::path MachineDir() const { return m_dir / "etc-zentrix-update"; }
    fs::path MachineFile() const { return MachineDir() / "zentrix-update.conf"; }
    fs::path Udevadm() const { return m_dir / "udevadm"; }
    std::string UdevCalls() const { return FileText(m_dir / "udevadm.log"); }

    fs::path m_dir;
};

TEST_F(GrantAccess, TheHelperWritesExactlyTheRuleThenReloadsAndReplaysUdev)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "the helper writes only as root";
    }
    const ProcessResult run = Helper({"1a2b:5e01"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(RulesFolder(), std::vector<std::string>{kRuleFile});
    const fs::path rule = Rules() / kRuleFile;
    EXPECT_EQ(FileText(rule), kRule);
    EXPECT_EQ(fs::status(rule).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(UdevCalls(), kUdevCalls);

    // From the program, IDs in capitals: the same rule replaces the old one.
    fs::remove(m_dir / "udevadm.log");
    std::ofstream(rule) << "old rule\n";
    const ProcessResult granted = RunProcess({ZENTRIX_UPDATE_BIN, "--grant-access", "1A2B:5E01"}, Env(), "", 30000);
    EXPECT_EQ(granted.exitCode, 0) << granted.err;
    EXPECT_EQ(FileText(rule), kRule);
    EXPECT_EQ(UdevCalls(), kUdevCalls);
    EXPECT_EQ(RulesFolder().size(), 1u);

    // A second model has a rule of its own; the first stays as it was.
    EXPECT_EQ(Helper({"1a2b:5e02"}).exitCode, 0);
    EXPECT_EQ(RulesFolder().size(), 2u);
    EXPECT_EQ(FileText(rule), kRule);
    EXPECT_NE(FileText(Rules() / "60-zentrix-calculator-1a2b-5e02.rules").find("ATTR{idProduct}==\"5e02\""),
              std::string::npos);

    // With a group, for a service without a seat: that group may open it too.
    EXPECT_EQ(Helper({"1a2b:5e01", "zentrix-station"}).exitCode, 0);
    EXPECT_EQ(FileText(rule),
              "# Written by zentrix-update --grant-access 1a2b:5e01 --group zentrix-station: lets the user at the "
              "seat and group zentrix-station open\n"
              "# this Zentrix calculator over USB, and keeps ModemManager off it.\n"
              "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"1a2b\", "
              "ATTR{idProduct}==\"5e01\", TAG+=\"uaccess\", GROUP=\"zentrix-station\", MODE=\"0660\", "
              "ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n");

    // udev refusing leaves the rule written and says so.
    WriteUdevadm(1);
    const ProcessResult refused = Helper({"1a2b:5e01"});
    EXPECT_EQ(refused.exitCode, 4);
    EXPECT_NE(refused.err.find("written, but"), std::string::npos) << refused.err;
}

// The station looks only for the models the machine's file names: granting a
// model names it there once, keeping what the administrator wrote.
TEST_F(GrantAccess, TheModelIsNamedOnceInTheMachinesFile)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "the helper writes only as root";
    }
    // No file yet: it is made with the one line.
    ProcessResult run = Helper({"1a2b:5e01", "zentrix-station"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("usb-id = 1a2b:5e01 added to " + MachineFile().string()), std::string::npos) << run.out;
    EXPECT_NE(FileText(MachineFile()).find("\nusb-id = 1a2b:5e01\n"), std::string::npos) << FileText(MachineFile());

    // The administrator's lines stay; a model named already (in capitals)
    // is not named again; another model is added after them.
    const std::string own = "# staff room\nimage-folder = /srv/os\nusb-id =  1A2B:5E01 \nlabel = COM3 = Desk 1";
    std::ofstream(MachineFile()) << own;
    run = Helper({"1a2b:5e01"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.find("added"), std::string::npos) << run.out;
    EXPECT_EQ(FileText(MachineFile()), own);
    run = Helper({"1a2b:5e02"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string after = FileText(MachineFile());
    EXPECT_EQ(after.substr(0, own.size() + 1), own + "\n");
    EXPECT_NE(after.find("\nusb-id = 1a2b:5e02\n"), std::string::npos) << after;
    for (const auto& entry : fs::directory_iterator(MachineDir())) {
        EXPECT_EQ(entry.path().filename(), "zentrix-update.conf");   // no temporary file left behind
    }

    // A file that is a link is not written through; the udev rule is
    // written, and the message says which line to add by hand.
    fs::remove(MachineFile());
    const fs::path elsewhere = m_dir / "elsewhere.conf";
    std::ofstream(elsewhere) << "device = COM1\n";
    fs::create_symlink(elsewhere, MachineFile());
    run = Helper({"1a2b:5e03"});
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_NE(run.err.find("is a link"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("usb-id = 1a2b:5e03"), std::string::npos) << run.err;
    EXPECT_EQ(FileText(elsewhere), "device = COM1\n");
}

TEST_F(GrantAccess, AnythingButOneLowerCaseIdIsRefusedAndNothingIsWritten)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"1A2B:5E01"},
        {"1a2b:5e0"},
        {"1a2b5e01"},
        {"1a2b-5e01"},
        {" 1a2b:5e01"},
        {"1a2b:5e01\n"},
        {"1a2b:5e01x"},
        {"../../:5e01"},
        {"1a2b:5e01", "1a2b:5e02"},
        {"--", "1a2b:5e01"},
        {"1a2b:5e01", "Staff"},
        {"1a2b:5e01", "a\", MODE=\"0666"},
        {"1a2b:5e01", "-g"},
        {"1a2b:5e01", "staff", "more"},
    };
    for (const std::vector<std::string>& arguments : bad) {
        SCOPED_TRACE(arguments.empty() ? "(none)" : arguments[0]);
        const ProcessResult run = Helper(arguments);
        EXPECT_EQ(run.exitCode, geteuid() == 0 ? 2 : 1) << run.err;
        EXPECT_TRUE(RulesFolder().empty());
        EXPECT_FALSE(fs::exists(m_dir / "udevadm.log"));
    }
    const ProcessResult fromProgram = RunProcess({ZENTRIX_UPDATE_BIN, "--grant-access", "1a2b"}, Env(), "", 30000);
    EXPECT_EQ(fromProgram.exitCode, 2);
    EXPECT_NE(fromProgram.err.find("VVVV:PPPP"), std::string::npos);
    // A bad group name, and a group without the access it would be given.
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--grant-access", "1a2b:5e01", "--group", "a b"}, {"--group", "plugdev"}}) {
        std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const ProcessResult badGroup = RunProcess(argv, Env(), "", 30000);
        EXPECT_EQ(badGroup.exitCode, 2);
        EXPECT_NE(badGroup.err.find("--group"), std::string::npos) << badGroup.err;
    }
    EXPECT_TRUE(RulesFolder().empty());
}

// IDs that are no calculator's: none, a root hub's, and a present device of
// the hub class whatever its IDs.
TEST_F(GrantAccess, IdsOfNoCalculatorAreRefusedAndNothingIsWritten)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "the helper checks IDs only as root";
    }
    const fs::path devices = m_dir / "usb-devices";
    const auto plug = [&](const char* name, const char* vendor, const char* product, const char* deviceClass) {
        fs::create_directories(devices / name);
        std::ofstream(devices / name / "idVendor") << vendor << "\n";
        std::ofstream(devices / name / "idProduct") << product << "\n";
        std::ofstream(devices / name / "bDeviceClass") << deviceClass << "\n";
    };
    plug("1-1", "05e3", "0610", "09");   // a hub
    plug("1-2", "1a2b", "5e01", "00");   // a calculator
    std::vector<std::string> env = Env();
    env.push_back("ZENTRIX_USB_DEVICES_DIR=" + devices.string());
    for (const char* id : {"0000:0000", "1d6b:0002", "1d6b:0003", "05e3:0610"}) {
        SCOPED_TRACE(id);
        const ProcessResult run = RunProcess({ZENTRIX_GRANT_BIN, id}, env, "", 30000);
        EXPECT_EQ(run.exitCode, 5) << run.err;
        EXPECT_NE(run.err.find("nothing written"), std::string::npos) << run.err;
        EXPECT_TRUE(RulesFolder().empty());
        EXPECT_FALSE(fs::exists(m_dir / "udevadm.log"));
    }
    EXPECT_EQ(RunProcess({ZENTRIX_GRANT_BIN, "1a2b:5e01"}, env, "", 30000).exitCode, 0);
    EXPECT_EQ(RulesFolder(), std::vector<std::string>{kRuleFile});
}

TEST_F(GrantAccess, TheHelperRefusesToRunOtherThanAsRoot)
{
    const bool root = geteuid() == 0;
    const ProcessResult run = Helper({"1a2b:5e01"}, root);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("must be run as root"), std::string::npos) << run.err;
    EXPECT_TRUE(RulesFolder().empty());
    EXPECT_FALSE(fs::exists(m_dir / "udevadm.log"));
}

}  // namespace
