// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The records of several history files (other machines' histories, journal
// exports, standard input) as one history in time order, read a record at
// a time: each file is read in its own order and the merge takes, of the
// files' next records, the one that ended first (a file is appended to as
// its runs end, so each is in that order). Memory grows with the number of
// files, not of records.
//
// A record seen twice (a run in a machine's history and in a journal
// export) is shown once: a copy is the same record, field for field. Two
// quick runs on one port may start in the same second; they differ in
// their results or versions and are both shown. Copies end at the same
// moment, so only the keys of the records that ended at the latest moment
// are held.
//
// A file found out of time order (its clock was set back, say) is still
// read whole; its late records are shown where they were read, and one
// warning says how many there were.
//
// A record dated later than it can have been written (after its file was
// last changed, or more than a day after the merge's clock) is shown where
// it was read, is marked (FutureDated) and moves nothing: the records after
// it in its file keep their places. One warning per file says how many.
#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "shell/reports/history_reader.h"

// Where a history comes from: a file's path, or "-" for standard input.
struct HistorySource {
    std::string name;
    FILE* file = nullptr;   // standard input or its copy: read from where it is
};

class CHistoryMerge {
public:
    // Opens every source; false with `problem` at the first that
    // cannot be read. `now`: the merge's clock.
    bool Open(const std::vector<HistorySource>& sources, Message& problem,
              std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
    // A second pass reads no further in each file than the first did.
    void StopWhere(const CHistoryMerge& first);

    // The next record in time order, copies left out.
    bool Next(HistoryRecord& record);
    // Whether the record Next gave last is dated later than it can be.
    bool FutureDated() const { return m_futureDated; }

    uint64_t Copies() const { return m_copies; }
    // The warnings about the files' bad lines and order.
    std::vector<Message> Warnings() const;

private:
    struct Input {
        std::string name;
        std::unique_ptr<CHistoryReader> reader;
        HistoryRecord next;
        bool has = false;
        std::string lastEnded;
        std::string order;         // where `next` goes among the files' records
        std::string latestTrue;    // a record that ended later is dated in the future
        bool nextFutureDated = false;
        uint64_t outOfOrder = 0;
        uint64_t futureDated = 0;
    };
    void Advance(Input& input);
    bool SeenBefore(const HistoryRecord& record);

    std::vector<Input> m_inputs;
    std::string m_windowEnded;
    std::set<std::string> m_window;   // keys of the records that ended at m_windowEnded
    uint64_t m_copies = 0;
    bool m_futureDated = false;
};
