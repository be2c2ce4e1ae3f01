#include "update/image_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "update/identity_check.h"

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
        g_strBaseDir = m_base + "/";
    }
    void TearDown() override
    {
        if (m_oldTmp.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", m_oldTmp.c_str(), 1);
        }
        g_strBaseDir.clear();
        fs::remove_all(m_base);
        fs::remove_all(m_temp);
    }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(m_base + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
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
    ASSERT_TRUE(copy.Make(kStubFileName));
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
    ASSERT_TRUE(copy.Make(kStubFileName));
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
        symlink(victim.c_str(), (m_temp + "/qz" + std::to_string(i)).c_str());
    }
    Write(kStubFileName, std::vector<uint8_t>(100, 1));
    CScratchCopy copy;
    ASSERT_TRUE(copy.Make(kStubFileName));
    EXPECT_EQ(fs::file_size(victim), 1u);
}

TEST_F(ImageDirs, MissingUnreadableOrShortImagesAreNotUsable)
{
    EXPECT_FALSE(ImageFilesUsable());
    Write(kStubFileName, {1});
    EXPECT_FALSE(ImageFilesUsable());
    Write(kOsImageFileName, OsImage(kOsHeaderEnd - 1));
    EXPECT_FALSE(ImageFilesUsable());
    Write(kOsImageFileName, OsImage(kOsHeaderEnd));
    EXPECT_TRUE(ImageFilesUsable());
    fs::remove(m_base + "/" + kStubFileName);
    fs::create_directory(m_base + "/" + kStubFileName);   // a directory is not an image
    EXPECT_FALSE(ImageFilesUsable());
    CScratchCopy copy;
    EXPECT_FALSE(copy.Make(kStubFileName));
    EXPECT_EQ(TempEntries(), 0u);
}

TEST_F(ImageDirs, FifosAreRefusedWithoutWaitingForAWriter)
{
    Write(kStubFileName, {1, 2, 3});
    Write(kOsImageFileName, OsImage(kOsHeaderEnd));
    ASSERT_TRUE(ImageFilesUsable());
    for (const char* name : {kOsImageFileName, kStubFileName}) {
        SCOPED_TRACE(name);
        const std::string fifo = m_base + "/" + name;
        fs::remove(fifo);
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        auto checks = std::async(std::launch::async, [name] {
            CScratchCopy copy;
            return std::make_pair(ImageFilesUsable(), copy.Make(name));
        });
        // Hang guard: an open that waits for a writer is released by one.
        if (checks.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << "opening a FIFO image waited for a writer";
            while (checks.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
                const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                if (writer >= 0) {
                    close(writer);
                }
            }
        }
        const auto [usable, copied] = checks.get();
        EXPECT_FALSE(usable);
        EXPECT_FALSE(copied);
        EXPECT_EQ(TempEntries(), 0u);
        fs::remove(fifo);
        Write(name, std::string(name) == kStubFileName ? std::vector<uint8_t>{1, 2, 3} : OsImage(kOsHeaderEnd));
    }
}

TEST_F(ImageDirs, OsHeaderIsReadFromItsOffsetWithAnEmptyBaseDirectoryToo)
{
    Write(kOsImageFileName, OsImage(kOsHeaderEnd + 100));
    uint8_t block[1024] = {};
    ASSERT_TRUE(ReadOsImageHeader(block, 14));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 14), "365E01.05.0000");

    const fs::path cwd = fs::current_path();
    fs::current_path(m_base);
    g_strBaseDir.clear();
    uint8_t model[4] = {};
    EXPECT_TRUE(ReadOsImageHeader(model, 4));
    fs::current_path(cwd);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(model), 4), "365E");

    g_strBaseDir = m_base + "/";
    std::vector<uint8_t> shortImage = OsImage(kOsHeaderEnd);
    shortImage.resize(kOsHeaderEnd - 5);
    Write(kOsImageFileName, shortImage);
    EXPECT_FALSE(ReadOsImageHeader(block, 14));
    EXPECT_EQ(TempEntries(), 0u);
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
