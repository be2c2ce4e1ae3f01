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
// export) is shown once: records with the same start, host and device are
// the same run. Such copies end at the same moment, so only the keys of the
// records that ended at the latest moment are held.
//
// A file found out of time order (its clock was set back, say) is still
// read whole; its late records are shown where they were read, and one
// warning says how many there were.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "shell/history_reader.h"

// Where a history comes from: a file's path, or "-" for standard input.
struct HistorySource {
    std::string name;
    FILE* file = nullptr;   // standard input or its copy: read from where it is
};

class CHistoryMerge {
public:
    // Opens every source; false with `problem` at the first that
    // cannot be read.
    bool Open(const std::vector<HistorySource>& sources, Message& problem);
    // A second pass reads no further in each file than the first did.
    void StopWhere(const CHistoryMerge& first);

    // The next record in time order, copies left out.
    bool Next(HistoryRecord& record);

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
        uint64_t outOfOrder = 0;
    };
    void Advance(Input& input);
    bool SeenBefore(const HistoryRecord& record);

    std::vector<Input> m_inputs;
    std::string m_windowEnded;
    std::set<std::string> m_window;   // keys of the records that ended at m_windowEnded
    uint64_t m_copies = 0;
};
