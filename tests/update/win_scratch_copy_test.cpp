// SPDX-License-Identifier: GPL-3.0-or-later
// Scratch copies on Windows: made in the temporary directory, reachable by
// nobody else while they live, equal to the image as it was when copied,
// and gone when the run lets go of them.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "update/image_files.h"

namespace fs = std::filesystem;

namespace {

class WinScratchCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        const fs::path root = fs::temp_directory_path() / ("zx-scratch-" + std::to_string(GetCurrentProcessId()));
        m_images = root / "images";
        m_temp = root / "temp";
        fs::create_directories(m_images);
        fs::create_directories(m_temp);
        m_base = m_images.string() + "\\";
    }
    void TearDown() override { fs::remove_all(m_images.parent_path()); }

    void Write(const char* name, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(m_images / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<fs::path> ScratchFiles() const
    {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(m_temp)) {
            files.push_back(entry.path());
        }
        return files;
    }

    fs::path m_images;
    fs::path m_temp;
    std::string m_base;
};

std::vector<uint8_t> Pattern(size_t size, uint8_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 31 + seed + (i >> 8));
    }
    return bytes;
}

}  // namespace

TEST_F(WinScratchCopy, CopiesArePrivateFaithfulAndGoneAfterUse)
{
    const std::vector<uint8_t> stub = Pattern(3000, 1);
    const std::vector<uint8_t> os = Pattern(kOsHeaderEnd + 1000, 2);
    Write(kStubFileName, stub);
    Write(kOsImageFileName, os);
    {
        ImageSnapshots images;
        Message problem;
        ASSERT_TRUE(TakeImageSnapshots(m_base, m_temp.string(), images, problem)) << problem.English();
        EXPECT_EQ(images.stub.size, stub.size());
        EXPECT_EQ(images.os.size, os.size());

        // Two "qz" files in the temporary directory, which nobody can open.
        const std::vector<fs::path> files = ScratchFiles();
        ASSERT_EQ(files.size(), 2u);
        for (const fs::path& file : files) {
            EXPECT_EQ(file.filename().string().rfind("qz", 0), 0u) << file;
            HANDLE other = CreateFileA(file.string().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                       FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
            EXPECT_EQ(other, INVALID_HANDLE_VALUE) << file;
            if (other != INVALID_HANDLE_VALUE) {
                CloseHandle(other);
            }
        }

        // The image changed on disk: the run goes on with what it copied.
        Write(kOsImageFileName, Pattern(os.size(), 9));
        uint8_t header[kOsHeaderLength] = {};
        ASSERT_TRUE(ReadOsImageHeader(images.os, header, kOsHeaderLength));
        EXPECT_TRUE(std::equal(header, header + kOsHeaderLength, os.begin() + kOsHeaderOffset));
        std::vector<uint8_t> back(os.size());
        ASSERT_TRUE(images.os.copy.Seek(0));
        ASSERT_TRUE(images.os.copy.ReadExactly(back.data(), static_cast<uint32_t>(back.size())));
        EXPECT_EQ(back, os);
        uint8_t past = 0;
        EXPECT_FALSE(images.os.copy.ReadExactly(&past, 1));
    }
    EXPECT_TRUE(ScratchFiles().empty());
}

TEST_F(WinScratchCopy, ImagesThatCannotBeCopiedFailTheRunAndLeaveNothing)
{
    Message problem;
    {
        ImageSnapshots images;
        EXPECT_FALSE(TakeImageSnapshots(m_base, m_temp.string(), images, problem));
        EXPECT_EQ(problem.English().rfind("image missing: " + m_base + kStubFileName, 0), 0u) << problem.English();
    }
    Write(kStubFileName, Pattern(10, 3));
    Write(kOsImageFileName, Pattern(kOsHeaderEnd - 1, 4));
    {
        ImageSnapshots images;
        EXPECT_FALSE(TakeImageSnapshots(m_base, m_temp.string(), images, problem));
        EXPECT_NE(problem.English().find("too short"), std::string::npos) << problem.English();
    }
    // A folder under an image's name is not an image.
    fs::remove(m_images / kOsImageFileName);
    fs::create_directory(m_images / kOsImageFileName);
    {
        ImageSnapshots images;
        EXPECT_FALSE(TakeImageSnapshots(m_base, m_temp.string(), images, problem));
    }
    // No temporary directory to copy into.
    {
        ImageSnapshots images;
        EXPECT_FALSE(TakeImageSnapshots(m_base, (m_temp / "missing").string(), images, problem));
        EXPECT_NE(problem.English().find("cannot make a scratch copy"), std::string::npos) << problem.English();
    }
    EXPECT_TRUE(ScratchFiles().empty());
    // Without a configured folder the copies go to the user's temporary one.
    char systemTemp[MAX_PATH + 1] = {};
    ASSERT_NE(GetTempPathA(sizeof systemTemp, systemTemp), 0u);
    EXPECT_EQ(ScratchDirectory(""), systemTemp);
}
