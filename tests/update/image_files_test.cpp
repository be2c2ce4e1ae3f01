// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/image_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "update/identity_check.h"
#include "update/session_images.h"
#include "update/sha256.h"

namespace fs = std::filesystem;

namespace {

// A base directory and a private TMPDIR for one test; both removed afterwards.
class ImageDirs : public ::testing::Test {
protected:
    void SetUp() override
    {
        char base[] = "/tmp/zx-images-XXXXXX";
        char temp[] = "/tmp/zx-temp-XXXXXX";
        m_base = mkdtemp(base);
        m_temp = mkdtemp(temp);
        m_oldTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
        setenv("TMPDIR", m_temp.c_str(), 1);
    }
    void TearDown() override
    {
        if (m_oldTmp.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", m_oldTmp.c_str(), 1);
        }
        fs::remove_all(m_base);
        fs::remove_all(m_temp);
    }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(m_base + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    // A scratch copy of an image of the base directory.
    bool Copy(CScratchCopy& copy, const char* name)
    {
        Message problem;
        return copy.Make(m_base + "/" + name, "", problem);
    }
    bool Snapshots(ImageSnapshots& images, Message& problem, const std::string& baseDir = {})
    {
        return TakeImageSnapshots(baseDir.empty() ? m_base + "/" : baseDir, "", images, problem);
    }
    size_t TempEntries() const
    {
        return static_cast<size_t>(std::distance(fs::directory_iterator(m_temp), fs::directory_iterator()));
    }
    std::vector<uint8_t> OsImage(size_t size)
    {
        std::vector<uint8_t> image(std::max<size_t>(size, kOsHeaderEnd), 0xA5);
        const char header[] = "365E01.05.0000";
        std::copy(header, header + 14, image.begin() + kOsHeaderOffset);
        image.resize(size);
        return image;
    }

    std::string m_base;
    std::string m_temp;
    std::string m_oldTmp;
};

}  // namespace

TEST(BlockCount, RoundsUpAndNeverTruncates)
{
    EXPECT_EQ(BlockCount(0, 1024), 0);
    EXPECT_EQ(BlockCount(1, 1024), 1);
    EXPECT_EQ(BlockCount(1024, 1024), 1);
    EXPECT_EQ(BlockCount(1025, 1024), 2);
    EXPECT_EQ(BlockCount(1025, 256), 5);
    EXPECT_EQ(BlockCount(65535ull * 1024, 1024), 65535);
    EXPECT_EQ(BlockCount(65535ull * 1024 + 1, 1024), 65536);
    EXPECT_EQ(BlockCount(0x1'0000'0000ull, 256), 0x100'0000);   // no 32-bit wrap
}

TEST_F(ImageDirs, ScratchCopyIsPrivateUnlinkedAndReadsTheFile)
{
    Write(kStubFileName, {1, 2, 3, 4, 5});
    CScratchCopy copy;
    ASSERT_TRUE(Copy(copy, kStubFileName));
    EXPECT_EQ(TempEntries(), 0u);   // nothing to leave behind, even if the process dies
    uint64_t size = 0;
    ASSERT_TRUE(copy.QuerySize(size));
    EXPECT_EQ(size, 5u);
    // The file changes on disk: the copy does not.
    Write(kStubFileName, {9, 9});
    uint8_t buf[5] = {};
    ASSERT_TRUE(copy.ReadExactly(buf, 5));
    EXPECT_EQ(buf[4], 5);
    EXPECT_FALSE(copy.ReadExactly(buf, 1));   // past the end
    ASSERT_TRUE(copy.Seek(1));
    ASSERT_TRUE(copy.ReadExactly(buf, 2));
    EXPECT_EQ(buf[0], 2);
}

TEST_F(ImageDirs, ScratchCopyIsCreatedWithMode0600InTmpdir)
{
    // The name is gone at once; look at the open file through /proc.
    Write(kStubFileName, std::vector<uint8_t>(10, 7));
    CScratchCopy copy;
    ASSERT_TRUE(Copy(copy, kStubFileName));
    bool found = false;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(entry.path(), ec);
        if (!ec && target.string().rfind(m_temp + "/qz", 0) == 0) {
            struct stat st {};
            ASSERT_EQ(stat(entry.path().c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u);
            found = true;
        }
    }
    EXPECT_TRUE(found) << "no open qz file in " << m_temp;
}

TEST_F(ImageDirs, PlantedLinksInTheTemporaryDirectoryAreNeverFollowed)
{
    // Whatever names an attacker plants, the copy goes to a new file.
    const std::string victim = m_base + "/victim";
    Write("victim", {0x42});
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(symlink(victim.c_str(), (m_temp + "/qz" + std::to_string(i)).c_str()), 0) << i;
    }
    Write(kStubFileName, std::vector<uint8_t>(100, 1));
    CScratchCopy copy;
    ASSERT_TRUE(Copy(copy, kStubFileName));
    EXPECT_EQ(fs::file_size(victim), 1u);
}

TEST_F(ImageDirs, ImagesThatCannotBeSentAreRefusedWithTheirReason)
{
    const std::string stub = m_base + "/" + kStubFileName;
    const std::string os = m_base + "/" + kOsImageFileName;
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::string problem;   // empty: the snapshots are taken
    };
    const std::vector<Case> cases = {
        {"no stub", [] {}, "image missing: " + stub + " (No such file or directory)"},
        {"no OS image", [&] { Write(kStubFileName, {1}); }, "image missing: " + os + " (No such file or directory)"},
        {"OS image one byte short of its header", [&] { Write(kOsImageFileName, OsImage(kOsHeaderEnd - 1)); },
         "OS image " + os + " is too short: 65577 bytes, its header ends at byte 65578"},
        {"both usable", [&] { Write(kOsImageFileName, OsImage(kOsHeaderEnd)); }, ""},
        {"OS image a FIFO (never waited on)",
         [&] { fs::remove(os); ASSERT_EQ(mkfifo(os.c_str(), 0600), 0); },
         "image " + os + " is not a regular file"},
        {"OS image too large for 1024-byte blocks",
         [&] { fs::remove(os); Write(kOsImageFileName, OsImage(kOsHeaderEnd)); fs::resize_file(os, 65535ull * 1024 + 1); },
         "image " + os + " is too large: 67107841 bytes, more than 65535 blocks of 1024 bytes"},
        {"OS image at the largest size", [&] { fs::resize_file(os, 65535ull * 1024); }, ""},
        {"stub a directory", [&] { fs::remove(stub); fs::create_directory(stub); },
         "image " + stub + " is not a regular file"},
    };
    for (const Case& c : cases) {
        c.arrange();
        ImageSnapshots images;
        Message problem;
        EXPECT_EQ(Snapshots(images, problem), c.problem.empty()) << c.what;
        EXPECT_EQ(problem.English(), c.problem) << c.what;
    }
    EXPECT_EQ(TempEntries(), 0u);
}

TEST_F(ImageDirs, SnapshotsAreWhatIsReadEvenWhenTheFilesChangeOrTheBaseDirectoryIsEmpty)
{
    Write(kStubFileName, {1});
    Write(kOsImageFileName, OsImage(kOsHeaderEnd + 100));
    ImageSnapshots images;
    Message problem;
    ASSERT_TRUE(Snapshots(images, problem)) << problem.English();
    Write(kOsImageFileName, std::vector<uint8_t>(kOsHeaderEnd + 100, 0));   // replaced on disk
    uint8_t block[1024] = {};
    ASSERT_TRUE(ReadOsImageHeader(images.os, block, 14));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 14), "365E01.05.0000");

    const fs::path cwd = fs::current_path();
    fs::current_path(m_base);
    ImageSnapshots relative;
    const bool taken = TakeImageSnapshots("", "", relative, problem);
    fs::current_path(cwd);
    ASSERT_TRUE(taken) << problem.English();
    uint8_t model[4] = {};
    EXPECT_TRUE(ReadOsImageHeader(relative.os, model, 4));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(model), 4), std::string(4, '\0'));
}

namespace {

// A port that writes down what it is told and ends a wait when told to.
class WaitingPort : public IUpdatePort {
public:
    std::vector<std::string> warnings;
    int waits = 0;
    int endAfterWaits = -1;   // -1: never

    void OpenProgress(const char*, int) override {}
    void StepProgress() override {}
    void SetProgressPos(int) override {}
    void SetProgressRange(int) override {}
    void CloseProgress() override {}
    void Warn(const Message& text) override { warnings.push_back(text.English()); }
    bool SetCloseEnabled(bool) override { return true; }
    bool KeepWaiting(const ReplyWait&) override { return ++waits != endAfterWaits; }
};

constexpr StillnessPolicy kQuick{300, 1500, 10};

void MakeOld(const std::string& path)
{
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::minutes(1));
}

}  // namespace

// The images of a session are copied only once neither file has changed for
// a while: a file written moments ago is waited for (said once), a file that
// keeps changing is given up on with a reason, and a wait the port ends stops
// the copy. Nothing is left in the temporary directory either way.
TEST_F(ImageDirs, ASessionCopiesOnlyImagesThatHaveStoppedChanging)
{
    const std::string os = m_base + "/" + kOsImageFileName;
    Write(kStubFileName, {1, 2, 3});
    MakeOld(m_base + "/" + kStubFileName);
    Write(kOsImageFileName, OsImage(kOsHeaderEnd + 10));   // just written
    {
        WaitingPort port;
        CSessionImages session;
        Message problem;
        ASSERT_TRUE(session.Take(m_base + "/", "", port, problem, kQuick)) << problem.English();
        EXPECT_EQ(port.warnings, (std::vector<std::string>{"image " + os +
                                                           " is being written: waiting until it has not changed "
                                                           "for 1 second"}));
        EXPECT_GT(port.waits, 1);
        EXPECT_EQ(session.Images().os.size, kOsHeaderEnd + 10u);
    }
    {
        // Written to every 50 ms for longer than the session waits.
        std::atomic<bool> writing{true};
        Write(kOsImageFileName, OsImage(kOsHeaderEnd));
        std::thread writer([&] {
            for (uint8_t i = 0; writing; ++i) {
                Write(kOsImageFileName, OsImage(kOsHeaderEnd + i));
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
        WaitingPort port;
        CSessionImages session;
        Message problem;
        EXPECT_FALSE(session.Take(m_base + "/", "", port, problem, kQuick));
        writing = false;
        writer.join();
        EXPECT_EQ(problem.English(), "image " + os +
                               " kept changing for 2 seconds: it is still being written; start the update again "
                               "once it has been copied completely");
        EXPECT_EQ(port.warnings.size(), 1u);
    }
    {
        Write(kOsImageFileName, OsImage(kOsHeaderEnd));
        WaitingPort port;
        port.endAfterWaits = 3;
        CSessionImages session;
        Message problem;
        EXPECT_FALSE(session.Take(m_base + "/", "", port, problem, kQuick));
        EXPECT_EQ(problem.English(), "stopped while waiting for image " + os + " to be written completely");
        EXPECT_EQ(port.waits, 3);
    }
    {
        // A missing image is said at once, not waited for.
        fs::remove(m_base + "/" + kStubFileName);
        WaitingPort port;
        CSessionImages session;
        Message problem;
        EXPECT_FALSE(session.Take(m_base + "/", "", port, problem, kQuick));
        EXPECT_EQ(problem.English().rfind("image missing: ", 0), 0u) << problem.English();
        EXPECT_EQ(port.waits, 0);
    }
    EXPECT_EQ(TempEntries(), 0u);
}

// The runs of a session read one copy, each at its own place, and the
// session notices when the folder no longer holds what it copied.
TEST_F(ImageDirs, RunsShareTheSessionsCopyEachReadingAtItsOwnPlace)
{
    std::vector<uint8_t> bytes(200000);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
    }
    Write(kStubFileName, {1});
    Write(kOsImageFileName, bytes);
    MakeOld(m_base + "/" + kStubFileName);
    MakeOld(m_base + "/" + kOsImageFileName);
    WaitingPort port;
    CSessionImages session;
    Message problem;
    ASSERT_TRUE(session.Take(m_base + "/", "", port, problem, kQuick)) << problem.English();
    EXPECT_TRUE(port.warnings.empty());
    EXPECT_FALSE(session.FolderChanged());

    ImageSnapshots first, second;
    first.ShareFrom(session.Images());
    second.ShareFrom(session.Images());
    EXPECT_EQ(second.os.size, bytes.size());
    // Interleaved reads, each past the other's read-ahead.
    std::vector<uint8_t> a(bytes.size()), b(bytes.size());
    ASSERT_TRUE(second.os.copy.Seek(100000));
    for (size_t at = 0; at < 100000; at += 1000) {
        ASSERT_TRUE(first.os.copy.ReadExactly(a.data() + at, 1000));
        ASSERT_TRUE(second.os.copy.ReadExactly(b.data() + 100000 + at, 1000));
    }
    ASSERT_TRUE(first.os.copy.ReadExactly(a.data() + 100000, 100000));
    EXPECT_TRUE(std::equal(a.begin(), a.end(), bytes.begin()));
    EXPECT_TRUE(std::equal(b.begin() + 100000, b.end(), bytes.begin() + 100000));
    first.os.copy.Discard();   // a reader's end leaves the session's copy open
    uint8_t header[14] = {};
    EXPECT_TRUE(ReadOsImageHeader(second.os, header, sizeof header));

    Write(kOsImageFileName, bytes);   // the same bytes, written again
    EXPECT_TRUE(session.FolderChanged());
    EXPECT_EQ(TempEntries(), 0u);
}

// The published test vectors, fed in pieces that straddle the 64-byte
// blocks, and a pin is 64 hex digits in either case, nothing else.
TEST(Fingerprint, KnownDigestsWhateverThePiecesAndPinsOf64HexDigits)
{
    const struct {
        std::string text;
        const char* digest;
    } vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& v : vectors) {
        for (const size_t piece : {size_t{1}, size_t{63}, size_t{1000}}) {
            CSha256 sha;
            for (size_t at = 0; at < v.text.size(); at += piece) {
                sha.Update(reinterpret_cast<const uint8_t*>(v.text.data()) + at, std::min(piece, v.text.size() - at));
            }
            EXPECT_EQ(sha.HexDigest(), v.digest) << v.text.size() << " in pieces of " << piece;
        }
    }
    std::string pin;
    EXPECT_TRUE(ParseSha256Hex(std::string(32, 'A') + std::string(32, 'f'), pin));
    EXPECT_EQ(pin, std::string(32, 'a') + std::string(32, 'f'));
    for (const std::string& bad : {std::string(63, 'a'), std::string(65, 'a'), std::string(63, 'a') + "g"}) {
        EXPECT_FALSE(ParseSha256Hex(bad, pin)) << bad;
    }
}

TEST(Versions, ReadAsNumbersAroundThePoint)
{
    EXPECT_EQ(ParseVersionNumber("01.04.0000"), 104);
    EXPECT_EQ(ParseVersionNumber("02.00.0000"), 200);
    EXPECT_EQ(ParseVersionNumber("1A.04.0000"), 1);
    EXPECT_EQ(ParseVersionNumber(" 1.04.0000"), 104);
    EXPECT_EQ(ParseVersionNumber("-1.04.0000"), -104);
    EXPECT_EQ(ParseVersionNumber("AB.CD.0000"), 0);
}

TEST(Models, ClassesAndTheCrossCodeAcceptance)
{
    const uint8_t e365[] = {0x33, 0x36, 0x35, 0x45};
    const uint8_t a[] = {0x80, 0x00, 0x5D, 0x7C};
    const uint8_t f[] = {0xFF, 0xFF, 0xFF, 0xFF};
    const uint8_t other[] = {0x33, 0x36, 0x35, 0x46};
    EXPECT_EQ(ModelClassOf(e365), 2);
    EXPECT_EQ(ModelClassOf(a), 1);
    EXPECT_EQ(ModelClassOf(f), 1);
    EXPECT_EQ(ModelClassOf(other), 0);
    EXPECT_EQ(NeededModelClass(a), ModelClassOf(f));
    EXPECT_EQ(NeededModelClass(f), ModelClassOf(a));
    EXPECT_NE(NeededModelClass(e365), ModelClassOf(a));
}
