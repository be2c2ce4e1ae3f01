// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private folder for one end-to-end test: img/ holds the simulator's demo
// images, scratch/ is the program's TMPDIR.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/e2e/child_process.h"

// Makes the folder under the temporary directory, its name starting with
// `prefix`; an empty path (and a test failure) when it cannot be made.
inline std::filesystem::path MakeDemoFolder(const std::string& prefix, const std::string& simulator)
{
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot make " << pattern;
        return {};
    }
    const fs::path dir = pattern;
    fs::create_directories(dir / "img");
    fs::create_directories(dir / "scratch");
    const ProcessResult demo = RunProcess({simulator, "--write-demo-images", (dir / "img").string()}, {}, "");
    EXPECT_EQ(demo.exitCode, 0) << demo.err;
    // Finished a while ago: the program takes images changed in the last two
    // seconds as still being written and waits for them.
    std::error_code ignored;
    for (const char* name : {"UpdateExe.bin", "UpdateCode.bin"}) {
        fs::last_write_time(dir / "img" / name, fs::file_time_type::clock::now() - std::chrono::minutes(1), ignored);
    }
    return dir;
}
