// SPDX-License-Identifier: GPL-3.0-or-later
// The problem report is a new private file put in place of whatever had its
// name; the last run's trace goes in only as a regular file reached without
// a link; the user's home folder goes in as ~.
#include "shell/reports/problem_report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string FileText(const fs::path& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

class ProblemReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("zentrix-report-" + std::to_string(std::random_device()()));
        fs::create_directories(m_dir);
        std::ofstream(m_dir / "other") << "kept\n";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    ProblemReportParts Parts() const
    {
        return {"9.9.9", "Linux", "(devices)\n", (m_dir / "history.jsonl").string(), (m_dir / "last-run.trace").string(),
                (m_dir / "home").string()};
    }

    fs::path m_dir;
};

// Whatever stood at the report's name (another's file anyone may write, a
// hard link, a symbolic link) is replaced, never written into.
TEST_F(ProblemReport, ReplacesWhateverHadTheNameNeverWritingThroughIt)
{
    const struct {
        const char* standing;
        std::function<void(const fs::path& report, const fs::path& other)> make;
    } cases[] = {
        {"a file anyone may write",
         [](const fs::path& report, const fs::path&) {
             std::ofstream(report) << "old\n";
             chmod(report.c_str(), 0666);
         }},
        {"a hard link", [](const fs::path& report, const fs::path& other) { fs::create_hard_link(other, report); }},
        {"a symbolic link", [](const fs::path& report, const fs::path& other) { fs::create_symlink(other, report); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.standing);
        const fs::path report = m_dir / "report.txt";
        c.make(report, m_dir / "other");
        Message problem;
        ASSERT_TRUE(WriteProblemReport(report.string(), Parts(), problem)) << problem.English();
        struct stat info = {};
        ASSERT_EQ(lstat(report.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_EQ(info.st_nlink, 1u);
        EXPECT_EQ(FileText(report).rfind("Zentrix OS Update problem report\n", 0), 0u);
        EXPECT_EQ(FileText(m_dir / "other"), "kept\n");
        fs::remove(report);
    }
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

// A trace that is a link (to a secret, to /dev/zero) is not read; a
// regular one goes in with the home folder as ~, also where the folder's
// name falls across two of the pieces it is read in.
TEST_F(ProblemReport, TakesTheTraceOnlyAsARegularFileAndTheHomeAsTilde)
{
    const fs::path trace = m_dir / "last-run.trace";
    std::ofstream(m_dir / "secret") << "SECRET\n";
    const std::string home = Parts().home;
    const struct {
        const char* trace;
        std::function<void()> make;
        std::string holds;
    } cases[] = {
        {"a link to a secret", [&] { fs::create_symlink(m_dir / "secret", trace); },
         "(no trace: " + trace.string() + " is not read: Too many levels of symbolic links)\n"},
        {"a regular file",
         [&] { std::ofstream(trace) << std::string(64 * 1024 - 3, 't') + home + "/img/UpdateCode.bin " + home + "2\n"; },
         std::string(10, 't') + "~/img/UpdateCode.bin " + home + "2\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.trace);
        c.make();
        std::ostringstream out;
        Message problem;
        ASSERT_TRUE(PrintProblemReport(out, Parts(), problem)) << problem.English();
        const std::string text = out.str();
        EXPECT_NE(text.find(c.holds), std::string::npos) << text.substr(0, 600);
        EXPECT_EQ(text.find("SECRET"), std::string::npos);
        EXPECT_EQ(text.find(home + "/"), std::string::npos);
        EXPECT_LT(text.size(), 128u * 1024);
        fs::remove(trace);
    }
}

}  // namespace

#endif
