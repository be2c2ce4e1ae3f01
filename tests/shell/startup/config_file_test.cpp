// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration file's writer: what it keeps, what it refuses, and that
// a process killed while remembering leaves the old file or the new one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "shell/session/image_folder_memory.h"
#include "shell/startup/config_file.h"
#include "shell/startup/config_writer.h"
#include "shell/startup/device_config.h"

namespace fs = std::filesystem;

namespace {

std::string Text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path FreshFolder(const char* name)
{
    const fs::path dir = fs::temp_directory_path() / (name + std::to_string(std::random_device{}()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TEST(ConfigWriter, KeepsTheUsersLinesAndReplacesOnlyWhatItRemembers)
{
    const fs::path dir = FreshFolder("zx-config-writer-");
    const fs::path file = dir / "zentrix-update.conf";
    struct Case {
        const char* before;   // null: no file
        const char* action;   // devices, label, folder
        const char* after;
    };
    const Case cases[] = {
        {nullptr, "devices", "# remembered by the device chooser\ndevice = /dev/ttyUSB1\n"},
        // The user's comment and a key of a newer version stay; a last line
        // without its line feed is not joined to the new one.
        {"# mine\nfuture-key = 1\ndevice = /dev/a", "devices",
         "# mine\nfuture-key = 1\ndevice = /dev/a\n# remembered by the device chooser\ndevice = /dev/ttyUSB1\n"},
        {"image-folder = /old\r\n# mine\r\n  image-folder=/older\r\n", "folder", "# mine\nimage-folder = /srv/images\n"},
        {"# image-folder = /kept as a comment\n", "folder",
         "# image-folder = /kept as a comment\nimage-folder = /srv/images\n"},
        {"device = /dev/a\n", "label", "device = /dev/a\n# named in the window\nlabel = usb-port:1-2 = Desk 4\n"},
        {nullptr, "tagged", "# named in the window\nlabel = usb-port:1-2 = Desk 4\nasset-tag = usb-port:1-2 = ZX 0042\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before == nullptr ? "(no file)" : c.before);
        fs::remove(file);
        if (c.before != nullptr) {
            std::ofstream(file, std::ios::binary) << c.before;
        }
        const std::string action = c.action;
        const Message failed = action == "devices" ? RememberDevices(file.string(), {"device = /dev/ttyUSB1"})
                               : action == "label" ? RememberLabel(file.string(), "usb-port:1-2", "Desk\t4")
                               : action == "tagged" ? RememberLabel(file.string(), "usb-port:1-2", "Desk\t4", " ZX\n0042 ")
                                                   : RememberImageFolder(file.string(), "/srv/images");
        EXPECT_EQ(failed.English(), "");
        EXPECT_EQ(Text(file), c.after);
        const bool newerKey = std::string(c.after).find("future-key") != std::string::npos;
        EXPECT_EQ(ReadConfigFile(file.string()).warnings.size(), newerKey ? 1u : 0u);
    }
    EXPECT_EQ(RememberedImageFolder(file.string()), "");
    EXPECT_EQ(RememberImageFolder(file.string(), "/srv/b").English(), "");
    EXPECT_EQ(RememberedImageFolder(file.string()), "/srv/b");
    // No file left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    fs::remove_all(dir);
}

#ifndef _WIN32
TEST(ConfigWriter, RefusesLinksAndOthersFilesAndKeepsTheFilesPermissions)
{
    const fs::path dir = FreshFolder("zx-config-refusal-");
    const fs::path file = dir / "zentrix-update.conf";
    std::ofstream(file) << "device = /dev/a\n";
    chmod(file.c_str(), 0640);
    ASSERT_EQ(RememberDevices(file.string(), {"device = /dev/b"}).English(), "");
    struct stat info = {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    const fs::path link = dir / "link.conf";
    fs::create_symlink(file, link);
    const std::string before = Text(file);
    EXPECT_EQ(RememberDevices(link.string(), {"device = /dev/c"}).English(),
              link.string() + " is a link; it is not written through");
    EXPECT_EQ(RememberImageFolder(link.string(), "/x").English(),
              link.string() + " is a link; it is not written through");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Text(file), before);
    EXPECT_EQ(RememberDevices((dir).string(), {"device = /dev/c"}).English(),
              "cannot write " + dir.string() + ": not a file");
    if (geteuid() == 0) {
        // Only root can give a file away: the check runs where the tests run as root.
        ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
        EXPECT_EQ(RememberDevices(file.string(), {"device = /dev/c"}).English(),
                  file.string() + " belongs to another user; it is not written");
        EXPECT_EQ(Text(file), before);
    }
    fs::remove_all(dir);
}

// What the child remembers, over and over: a device (a block added) and
// the image folder (its line moved to the end). Whether `text` is the seed
// followed by whole blocks and at most one folder line.
const char* const kSeed = "# the user's own words\nsystem-log = off\n";

bool WholeBlocks(const std::string& text, int& blocks)
{
    if (text.rfind(kSeed, 0) != 0) {
        return false;
    }
    const std::string block = "# remembered by the device chooser\ndevice = /dev/ttyUSB9\n";
    const std::string folder = "image-folder = /srv/images\n";
    int folders = 0;
    blocks = 0;
    for (size_t at = std::string(kSeed).size(); at < text.size();) {
        if (text.compare(at, block.size(), block) == 0) {
            ++blocks;
            at += block.size();
        } else if (text.compare(at, folder.size(), folder) == 0 && ++folders == 1) {
            at += folder.size();
        } else {
            return false;
        }
    }
    return true;
}

TEST(ConfigWriter, AProcessKilledWhileRememberingLeavesTheOldFileOrTheNew)
{
    const fs::path dir = FreshFolder("zx-config-kill-");
    const fs::path file = dir / "zentrix-update.conf";
    std::ofstream(file) << kSeed;
    std::mt19937 random(12345);
    int grown = 0;
    for (int round = 0; round < 60; ++round) {
        const int before = [&] {
            int blocks = 0;
            EXPECT_TRUE(WholeBlocks(Text(file), blocks));
            return blocks;
        }();
        int started[2];
        ASSERT_EQ(pipe(started), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(started[0]);
            for (;;) {
                if (!RememberDevices(file.string(), {"device = /dev/ttyUSB9"}).Empty() ||
                    !RememberImageFolder(file.string(), "/srv/images").Empty()) {
                    _exit(3);
                }
                if (started[1] >= 0) {   // one change made: the kill may fall from now on
                    (void)!write(started[1], "x", 1);
                    close(started[1]);
                    started[1] = -1;
                }
            }
        }
        close(started[1]);
        char byte = 0;
        (void)!read(started[0], &byte, 1);   // however loaded the machine is
        close(started[0]);
        usleep(static_cast<useconds_t>(random() % 3000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child could not write: " << status;
        int blocks = 0;
        const std::string text = Text(file);
        ASSERT_TRUE(WholeBlocks(text, blocks)) << "round " << round << ":\n" << text;
        EXPECT_GE(blocks, before);
        grown += blocks > before ? 1 : 0;
        // Start each round small, and without the killed writers' leftovers.
        for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
            if (entry.path() != file) {
                fs::remove(entry.path());
            }
        }
        if (blocks > 50) {
            std::ofstream(file, std::ios::trunc) << kSeed;
        }
    }
    EXPECT_GT(grown, 10);   // the writer got on between the kills
    fs::remove_all(dir);
}
#endif

}  // namespace
