// SPDX-License-Identifier: GPL-3.0-or-later
// History records as JSON lines: texts from outside come out as valid JSON
// and valid UTF-8, lines read back as written, broken lines are refused, and
// many writers at once leave whole lines only.
#include "shell/history.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <random>
#include <thread>
#include <vector>

#include "shell/history_report.h"

namespace {

namespace fs = std::filesystem;

TEST(HistoryLine, TextsFromOutsideBecomeValidJsonStrings)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"01.05.0000", R"("01.05.0000")"},
        {"say \"no\" \\ now", R"("say \"no\" \\ now")"},
        {std::string("\x01\n\x1b[2J\x7f", 7), R"("\u0001\u000a\u001b[2J\u007f")"},
        {std::string("a\0b", 3), R"("a\u0000b")"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},   // é € 😀 kept
        {"\xFF", "\"\xEF\xBF\xBD\""},                             // not UTF-8 at all
        {"a\xE2\x82", "\"a\xEF\xBF\xBD\xEF\xBF\xBD\""},           // cut off mid-sequence
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},             // overlong '/'
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},   // a surrogate
        {"\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},   // past U+10FFFF
        {"\xE2\x82\"", "\"\xEF\xBF\xBD\xEF\xBF\xBD\\\"\""},       // a quote never hides in a sequence
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JsonString(c.in), c.out) << ::testing::PrintToString(c.in);
    }
}

TEST(HistoryLine, ReadsBackWhatWasWrittenAndRefusesBrokenLines)
{
    HistoryRecord written;
    for (size_t f = 0; f < kHistoryFieldCount; ++f) {
        written.fields[f] = std::string(kHistoryFieldNames[f]) + " \"x\"\t\\ \xC3\xA9";
    }
    written.fields[kBlockSize] = "256";
    written.fields[kReason].reset();
    const std::string line = FormatHistoryLine(written);
    EXPECT_NE(line.find(R"("block_size": 256, )"), std::string::npos) << line;
    EXPECT_NE(line.find(R"("reason": null, )"), std::string::npos) << line;
    HistoryRecord read;
    ASSERT_TRUE(ParseHistoryLine(line, read)) << line;
    EXPECT_EQ(read.fields, written.fields);

    // Escapes another writer may use, unknown names and missing ones.
    ASSERT_TRUE(ParseHistoryLine(R"( { "model" : "\u0041\ud83d\ude00\/" , "future": true, "result":"failed" } )", read));
    EXPECT_EQ(read[kModel], "A\xF0\x9F\x98\x80/");
    EXPECT_EQ(read[kResult], "failed");
    EXPECT_FALSE(read[kDevice]);

    for (const char* broken : {
             R"({"started": "2026-12-01T08:00:00Z", "dev)",   // torn
             R"({"started": "2026-12-01T08:00:00Z")",         // torn after a value
             R"({"a": "b",})",
             R"({"a": "b"} {"c": "d"})",
             R"({"a": [1]})",
             R"({"a": "\udc00"})",                              // a lone low surrogate
             R"({"a": "\x41"})",
             "{\"a\": \"tab\there\"}",                          // a raw control character
             R"({"a": 1.})",
             R"(["a"])",
             "",
         }) {
        HistoryRecord untouched = written;
        EXPECT_FALSE(ParseHistoryLine(broken, untouched)) << broken;
        EXPECT_EQ(untouched.fields, written.fields) << broken;
    }
}

// Writers on many threads (each append opens, locks and closes the file as
// separate programs do) after a power cut left a torn line: every record
// arrives whole, once, and the torn line stays the only unreadable one.
TEST(HistoryFile, ManyWritersAtOnceLeaveWholeLinesOnly)
{
    const fs::path dir = fs::temp_directory_path() / ("zentrix-history-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    const std::string path = (dir / "state" / "zentrix-update" / "history.jsonl").string();
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << R"({"started": "2026-12-01T0)";

    constexpr int kWriters = 8;
    constexpr int kRecordsEach = 40;
    const std::string padding(6000, 'p');   // lines longer than a pipe's atomic write
    std::vector<std::thread> writers;
    std::vector<int> failures(kWriters, 0);
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int n = 0; n < kRecordsEach; ++n) {
                HistoryRecord record;
                record.fields[kDevice] = std::to_string(w) + "/" + std::to_string(n);
                record.fields[kReason] = padding;
                std::string problem;
                failures[w] += AppendHistoryLine(path, FormatHistoryLine(record), {}, problem) ? 0 : 1;
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(failures, std::vector<int>(kWriters, 0));

    std::ostringstream text;
    {
        std::ifstream in(path, std::ios::binary);   // closed before the folder goes (Windows)
        text << in.rdbuf();
    }
    const HistoryContents contents = ReadHistoryText(text.str(), path);
    EXPECT_EQ(contents.warnings.size(), 1u);
    std::set<std::string> seen;
    for (const HistoryRecord& record : contents.records) {
        ASSERT_TRUE(record[kDevice] && record[kReason]);
        EXPECT_EQ(*record[kReason], padding);
        EXPECT_TRUE(seen.insert(*record[kDevice]).second) << *record[kDevice];
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kWriters * kRecordsEach));
    fs::remove_all(dir);
}

}  // namespace
