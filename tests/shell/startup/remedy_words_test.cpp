// SPDX-License-Identifier: GPL-3.0-or-later
// Every reason and remedy the program can give for a calculator it cannot
// open or list, and its help, speak of the platform they run on: Windows'
// texts never of udev or the dialout group, and they name Device Manager and
// the WinUSB driver step; Linux's name the udev rule and the group.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string>
#include <vector>

#include "device/device_listing.h"
#include "device/transport.h"
#include "shell/startup/command_line.h"
#include "update/run_update.h"

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Every text the remedy functions give, each with where it came from.
std::vector<std::pair<std::string, std::string>> EveryRemedyText()
{
    std::vector<std::pair<std::string, std::string>> texts = {
        {"PermissionRemedy", PermissionRemedy()}, {"NoDriverReason", NoDriverReason()}, {"UsageText", UsageText()}};
    const char* paths[] = {"\\\\.\\COM3", "\\\\?\\USB#VID_1A2B&PID_5E01#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
                           "/dev/ttyUSB0", "usb:1:4"};
    const int errors[] = {EACCES, EPERM, EBUSY, EAGAIN, ENOSYS, ENOTTY, ENOENT, EIO};
    for (const char* path : paths) {
        for (const int error : errors) {
            texts.emplace_back(std::string("OpenFailureReason ") + path + " " + std::to_string(error),
                               OpenFailureReason(path, static_cast<uint32_t>(error)).English());
        }
    }
    using Code = DeviceProblemCode;
    const std::pair<Code, const char*> problems[] = {
        {Code::PermissionDenied, "permission denied"},
        {Code::PermissionDenied, "permission denied, or another program has it open"},
        {Code::Busy, "another program has it open"},
        {Code::NoSuchDevice, "no such device"},
        {Code::Busy, "in use by another program"}};
    for (const bool usb : {true, false}) {
        for (const auto& [code, problem] : problems) {
            ListedDevice device;
            device.path = usb ? paths[1] : paths[0];
            device.usb = usb;
            device.found = usb;
            device.vendor = 0x1a2b;
            device.product = 0x5e01;
            device.problem = {code, Message(problem)};
            texts.emplace_back(std::string("FormatListedDevice ") + (usb ? "usb " : "port ") + problem,
                               FormatListedDevice(device).English());
        }
    }
    return texts;
}

std::string Find(const std::vector<std::pair<std::string, std::string>>& texts, const std::string& from)
{
    for (const auto& [where, text] : texts) {
        if (where == from) {
            return text;
        }
    }
    ADD_FAILURE() << "no text from " << from;
    return {};
}

TEST(RemedyWords, EveryReasonSpeaksOfThePlatformItRunsOn)
{
    const auto texts = EveryRemedyText();
    std::string linuxWords;   // every text that speaks of udev or dialout
    for (const auto& [where, text] : texts) {
        if (Lower(text).find("udev") != std::string::npos || Lower(text).find("dialout") != std::string::npos) {
            linuxWords += where + ": " + text + "\n";
        }
    }
#ifdef _WIN32
    EXPECT_EQ(linuxWords, "");
    EXPECT_NE(Find(texts, "PermissionRemedy").find("Device Manager"), std::string::npos);
    // A USB calculator without its driver is told the installer's step.
    const std::string noDriver = Find(texts, "OpenFailureReason \\\\?\\USB#VID_1A2B&PID_5E01#0001#"
                                             "{a5dcbf10-6530-11d2-901f-00c04fb951ed} " + std::to_string(ENOSYS));
    EXPECT_NE(noDriver.find("WinUSB is not available"), std::string::npos) << noDriver;
    EXPECT_NE(noDriver.find("installer's \"WinUSB driver\" component"), std::string::npos) << noDriver;
    const std::string refused = Find(texts, "FormatListedDevice usb permission denied, or another program has it open");
    EXPECT_NE(refused.find("WinUSB driver"), std::string::npos) << refused;
    EXPECT_NE(refused.find("1a2b:5e01"), std::string::npos) << refused;
    EXPECT_EQ(Find(texts, "FormatListedDevice usb no such device").find("WinUSB"), std::string::npos);
#else
    EXPECT_NE(linuxWords, "");
    EXPECT_NE(Find(texts, "PermissionRemedy").find("udev rule"), std::string::npos);
    EXPECT_NE(Find(texts, "PermissionRemedy").find("dialout"), std::string::npos);
    // Someone without the group nor a seat session is told the command that
    // lets them in.
    EXPECT_NE(Find(texts, "PermissionRemedy").find("zentrix-update --grant-access vvvv:pppp"), std::string::npos);
    EXPECT_NE(Find(texts, "FormatListedDevice usb permission denied")
                  .find("install the udev rule 60-zentrix-calculator.rules with vvvv = 1a2b and pppp = 5e01, then "
                        "plug the calculator in again)"),
              std::string::npos);
    EXPECT_EQ(Find(texts, "FormatListedDevice usb another program has it open").find("udev"), std::string::npos);
    EXPECT_EQ(Find(texts, "FormatListedDevice port permission denied").find("udev"), std::string::npos);
#endif
}

}  // namespace
