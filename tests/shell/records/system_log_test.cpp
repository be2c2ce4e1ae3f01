// SPDX-License-Identifier: GPL-3.0-or-later
// The system log entry of a run: received on a private journal socket it
// carries every field of the record and the history line itself; where no
// journal listens the same one line goes to syslog; a log that refuses the
// entry is one warning and the run stands, and never holds the program.
#include "shell/records/system_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "device/safe_text.h"
#include "i18n/json_text.h"
#include "shell/records/history.h"
#include "shell/reports/log_exports.h"
#include "support/quiet_port.h"

#ifndef _WIN32
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

class CWarningsPort : public CQuietPort {
public:
    void Warn(const Message& text) override { warnings.push_back(text.English()); }
    std::vector<std::string> warnings;
};

UpdateOutcome FailedRun()
{
    UpdateOutcome outcome;
    outcome.result = Failed;
    outcome.reason = Message::Raw("the calculator stopped answering\nafter block 12");
    outcome.facts = {"/dev/ttyACM0", "ZX84-00731", "1-2.3", "ZX-84", "5.2.0", "5.3.1", "os", 256, "",
                     std::string(64, 'a'), std::string(64, 'b'), "", true, "", "", "ZX-0042"};
    return outcome;
}

TEST(SystemLogEntry, TheOneLineSaysWhatHappenedWithoutControlBytes)
{
    const HistoryRecord record = MakeHistoryRecord(FailedRun(), {}, {}, "single", "1.0");
    const std::string message = RunLogMessage(record);
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    EXPECT_EQ(message.rfind("failed: ZX-84 serial ZX84-00731, OS 5.2.0, image 5.3.1, on ", 0), 0u) << message;
    EXPECT_NE(message.find(": the calculator stopped answering"), std::string::npos) << message;
    EXPECT_TRUE(RunFailed(record));
    HistoryRecord succeeded = record;
    succeeded.fields[kResult] = "updated";
    EXPECT_FALSE(RunFailed(succeeded));
    // A labelled calculator by its label first, shown safely.
    HistoryRecord labelled = record;
    labelled.fields[kLabel] = "Desk \x1b[2J3";
    EXPECT_EQ(RunLogMessage(labelled).rfind("failed: ZX-84 \"Desk \\x1b[2J3\" (serial ZX84-00731), OS 5.2.0", 0), 0u)
        << RunLogMessage(labelled);
}

// What the calculator and the system say reaches a journal reader through
// the fields too: every one is escaped as the message is, and the record
// line keeps the values whole.
TEST(SystemLogEntry, EveryJournalFieldIsEscapedAsTheMessageIs)
{
    UpdateOutcome outcome = FailedRun();
    outcome.facts.usbSerial = "ZX\x1b]0;owned\x07\xc2\x9b" "2J";
    outcome.facts.osBefore = "5.2\xe2\x80\xae" "0.1\xff\xe2\x80\xa8";
    outcome.facts.device = "/dev/tty\x1b[2JACM0\xe2\x80\x8b";
    const HistoryRecord record = MakeHistoryRecord(outcome, {}, {}, "single", "1.0");
    const std::vector<SystemLogField> fields = JournalFields(record, FormatHistoryLine(record));
    std::map<std::string, std::string> byName;
    for (const SystemLogField& field : fields) {
        byName[field.name] = field.value;
        if (field.name == kRecordFieldName) {
            continue;
        }
        EXPECT_EQ(field.value, SafeLine(field.value)) << field.name;   // nothing left to escape
        EXPECT_EQ(field.value.find('\n'), std::string::npos) << field.name;
    }
    EXPECT_EQ(byName["ZENTRIX_USB_SERIAL"], "ZX\\x1b]0;owned\\x07\\xc2\\x9b2J");
    EXPECT_EQ(byName["ZENTRIX_OS_BEFORE"], "5.2\\u202e0.1\\xff\\u2028");
    EXPECT_EQ(byName["ZENTRIX_DEVICE"], "/dev/tty\\x1b[2JACM0\\u200b");
    EXPECT_EQ(byName["ZENTRIX_ASSET_TAG"], "ZX-0042");
    HistoryRecord rebuilt;
    ASSERT_TRUE(ParseHistoryLine(byName[kRecordFieldName], rebuilt));
    EXPECT_EQ(rebuilt[kUsbSerial], outcome.facts.usbSerial);
}

#ifdef _WIN32

// The event log takes the run's event under the program's source.
TEST(SystemLogEntry, TheEventLogTakesTheRunsEvent)
{
    const HistoryRecord record = MakeHistoryRecord(FailedRun(), {}, {}, "single", "1.0");
    Message problem;
    EXPECT_TRUE(WriteSystemLog(record, FormatHistoryLine(record), problem)) << problem.English();
}

#else

// The fields of a native-protocol datagram, read the way the journal reads
// them (a value with a line feed comes with its length).
std::multimap<std::string, std::string> DecodeJournal(const std::string& datagram)
{
    std::multimap<std::string, std::string> fields;
    size_t at = 0;
    while (at < datagram.size()) {
        const size_t end = datagram.find_first_of("=\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a field without its end";
            break;
        }
        const std::string name = datagram.substr(at, end - at);
        if (datagram[end] == '=') {
            const size_t feed = datagram.find('\n', end);
            fields.emplace(name, datagram.substr(end + 1, feed - end - 1));
            at = feed + 1;
            continue;
        }
        uint64_t size = 0;
        for (int i = 7; i >= 0; --i) {
            size = size << 8 | static_cast<uint8_t>(datagram[end + 1 + static_cast<size_t>(i)]);
        }
        fields.emplace(name, datagram.substr(end + 9, size));
        EXPECT_EQ(datagram[end + 9 + size], '\n');
        at = end + 10 + size;
    }
    return fields;
}

fs::path ScratchFolder()
{
    const fs::path dir = fs::temp_directory_path() / ("zentrix-syslog-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    return dir;
}

// A datagram socket listening at `path`, waiting at most two seconds.
int Listen(const std::string& path)
{
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const timeval wait = {2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? fd : -1;


}

std::string Receive(int fd)
{
    std::string datagram(256 * 1024, '\0');
    const ssize_t size = recv(fd, datagram.data(), datagram.size(), 0);
    datagram.resize(size > 0 ? static_cast<size_t>(size) : 0);
    return datagram;
}

TEST(SystemLogEntry, TheJournalGetsEveryFieldAndTheHistoryLineItself)
{
    const fs::path dir = ScratchFolder();
    const int journal = Listen((dir / "journal.socket").string());
    ASSERT_GE(journal, 0);
    setenv("ZENTRIX_JOURNAL_SOCKET", (dir / "journal.socket").c_str(), 1);
    HistorySettings settings{true, (dir / "history.jsonl").string(), "1.0", nullptr, true};
    CWarningsPort port;
    const HistoryRecord record = RecordRun(settings, "watch", {}, FailedRun(), port);
    const std::multimap<std::string, std::string> fields = DecodeJournal(Receive(journal));
    close(journal);

    std::string line;
    std::getline(std::ifstream(settings.path), line);
    std::map<std::string, std::string> expected = {
        {"MESSAGE_ID", kRunMessageId}, {"MESSAGE", RunLogMessage(record)}, {"PRIORITY", "3"},
        {"SYSLOG_IDENTIFIER", "zentrix-update"}, {"ZENTRIX_RECORD", line}};
    for (size_t f = 0; f < kHistoryFieldCount; ++f) {
        std::string name = std::string("ZENTRIX_") + kHistoryFieldNames[f];
        std::transform(name.begin(), name.end(), name.begin(), ::toupper);
        if (record.fields[f]) {
            expected[name] = SafeLine(*record.fields[f]);   // the reason's line feed escaped
        }
    }
    EXPECT_EQ(expected.count("ZENTRIX_REASON"), 1u);
    EXPECT_EQ(expected["ZENTRIX_IMAGE_SHA256"], std::string(64, 'a'));   // which image the calculator got
    EXPECT_EQ(expected.count("ZENTRIX_HOST"), record[kHost] ? 1u : 0u);
    const std::map<std::string, std::string> received(fields.begin(), fields.end());
    EXPECT_EQ(received, expected);
    EXPECT_EQ(fields.size(), expected.size());   // each once
    HistoryRecord rebuilt;
    ASSERT_TRUE(ParseHistoryLine(fields.find("ZENTRIX_RECORD")->second, rebuilt));
    EXPECT_EQ(rebuilt.fields, record.fields);
    EXPECT_TRUE(port.warnings.empty());

    // An entry the journal cannot take is one warning; the record stands.
    UpdateOutcome huge = FailedRun();
    huge.reason = Message::Raw(std::string(4 * 1024 * 1024, 'r'));
    const HistoryRecord kept = RecordRun(settings, "watch", {}, huge, port);
    EXPECT_EQ(kept[kReason], huge.reason.English());
    ASSERT_EQ(port.warnings.size(), 1u);
    EXPECT_EQ(port.warnings[0].rfind("this run is not in the system log: ", 0), 0u) << port.warnings[0];
    settings.systemLog = false;
    RecordRun(settings, "watch", {}, huge, port);
    EXPECT_EQ(port.warnings.size(), 1u);
    unsetenv("ZENTRIX_JOURNAL_SOCKET");
    fs::remove_all(dir);
}

// Where no journal listens the syslog socket gets the run's one line, as
// syslog(3) would send it; one whose reader has stopped holds nobody: each
// entry it cannot take is one warning, and every run is still recorded.
TEST(SystemLogEntry, WithoutAJournalTheSyslogSocketGetsTheLineOrIsPassedBy)
{
    const fs::path dir = ScratchFolder();
    setenv("ZENTRIX_JOURNAL_SOCKET", (dir / "no-journal.socket").c_str(), 1);
    setenv("ZENTRIX_SYSLOG_SOCKET", (dir / "log").c_str(), 1);
    const int syslogSocket = Listen((dir / "log").string());
    ASSERT_GE(syslogSocket, 0);
    const HistoryRecord record = MakeHistoryRecord(FailedRun(), {}, {}, "single", "1.0");
    Message problem;
    ASSERT_TRUE(WriteSystemLog(record, FormatHistoryLine(record), problem)) << problem.English();
    const std::string received = Receive(syslogSocket);
    EXPECT_EQ(received.rfind("<11>", 0), 0u) << received;   // user, err
    const std::string tail =
        "zentrix-update[" + std::to_string(getpid()) + "]: @cee: {\"msg\": " + JsonString(RunLogMessage(record)) + ", ";
    ASSERT_GE(received.size(), tail.size() + 16) << received;
    EXPECT_EQ(received.substr(20, tail.size()), tail) << received;   // after "<11>Mmm dd hh:mm:ss "
    // As rsyslog writes it to a file, with the host it received it from:
    // the record whole, the message beside its fields.
    HistoryRecord read;
    ASSERT_EQ(ReadSyslogLine(received.substr(4, 16) + "room-12 " + received.substr(20), read), LineKind::Record)
        << received;
    HistoryRecord fromRoom12 = record;
    fromRoom12.fields[kHost] = "room-12";
    EXPECT_EQ(read.fields, fromRoom12.fields);

    // syslog alone even where a journal listens.
    setenv("ZENTRIX_JOURNAL_SOCKET", (dir / "journal.socket").c_str(), 1);
    const int journalSocket = Listen((dir / "journal.socket").string());
    ASSERT_TRUE(WriteSystemLog(record, FormatHistoryLine(record), problem, SystemLogRoute::SyslogOnly));
    EXPECT_NE(Receive(syslogSocket).find("@cee: {"), std::string::npos);
    ASSERT_TRUE(WriteSystemLog(record, FormatHistoryLine(record), problem));
    EXPECT_NE(Receive(journalSocket).find("MESSAGE_ID="), std::string::npos);
    close(journalSocket);
    setenv("ZENTRIX_JOURNAL_SOCKET", (dir / "no-journal.socket").c_str(), 1);

    // Nobody reads any more: far more runs than the socket holds.
    HistorySettings settings{true, (dir / "history.jsonl").string(), "1.0", nullptr, true};
    CWarningsPort port;
    constexpr size_t kRuns = 40;
    for (size_t run = 0; run < kRuns; ++run) {
        RecordRun(settings, "watch", {}, FailedRun(), port);
    }
    close(syslogSocket);
    ASSERT_FALSE(port.warnings.empty());
    EXPECT_EQ(port.warnings[0].rfind("this run is not in the system log: the system log refused the entry: ", 0), 0u)
        << port.warnings[0];
    EXPECT_LT(port.warnings.size(), kRuns);
    std::ifstream history(settings.path);
    size_t lines = 0;
    for (std::string line; std::getline(history, line);) {
        ++lines;
    }
    EXPECT_EQ(lines, kRuns);
    unsetenv("ZENTRIX_JOURNAL_SOCKET");
    unsetenv("ZENTRIX_SYSLOG_SOCKET");
    fs::remove_all(dir);
}

#endif

}  // namespace
