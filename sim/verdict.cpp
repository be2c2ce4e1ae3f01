// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/verdict.h"

namespace zsim {
namespace {

enum class Match { Unchecked, Yes, No };

Match Compare(const std::vector<uint8_t>& received, const std::string& file, bool complete) {
    if (file.empty() || !complete) return Match::Unchecked;
    return EqualsFile(received, file) ? Match::Yes : Match::No;
}

const char* MatchName(Match m) { return m == Match::Yes ? "yes" : m == Match::No ? "no" : "unchecked"; }

const char* EndingName(RunRecord::Ending e) {
    switch (e) {
        case RunRecord::Ending::Terminate: return "terminate";
        case RunRecord::Ending::Terminate04: return "terminate04";
        case RunRecord::Ending::LinkLost: return "link-lost";
        case RunRecord::Ending::None: break;
    }
    return "none";
}

std::string Sizes(const RunRecord& run) {
    return "stub " + std::to_string(run.stub.size()) + " bytes, OS " + std::to_string(run.osImage.size()) + " bytes";
}

// How far a partial OS image got, for a run that did not end normally.
std::string Flash(const RunRecord& run) {
    if (!CutOffMidFlash(run)) return "";
    return "; OS image cut off mid-flash after " + std::to_string(run.osBlocksReceived) + " of " +
           std::to_string(run.osBlocksTotal) + " blocks";
}

std::string Outcome(const RunRecord& run, Match stub, Match os, const Expectation& expect) {
    switch (run.ending) {
        case RunRecord::Ending::Terminate04:
            return "update abandoned by the updater (Terminate04)" + Flash(run);
        case RunRecord::Ending::LinkLost:
            return "link lost after " + std::to_string(run.log.size()) + " packets" + Flash(run);
        case RunRecord::Ending::None:
            return "run did not end" + Flash(run);
        case RunRecord::Ending::Terminate:
            break;
    }
    std::string text;
    if (stub == Match::No) text += "updater stub differs from " + expect.stubFile + " (" + Sizes(run) + ")";
    if (os == Match::No) text += std::string(text.empty() ? "" : "; ") + "OS image differs from " + expect.osFile;
    if (!text.empty()) return text;
    const bool checked = stub == Match::Yes || os == Match::Yes;
    text = std::string(checked ? "images received intact (" : "images received (") + Sizes(run) + ")";
    if (run.newOsVersion.empty()) return text + "; no OS installed";
    return text + "; calculator OS now " + run.newOsVersion;
}

}  // namespace

std::string Printable(const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string shown;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F) {
            shown += {'\\', 'x', kHex[b >> 4], kHex[b & 15]};
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string Quoted(const std::string& text) {
    std::string q = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return Printable(q) + "\"";
}

RunVerdict JudgeReadBack(int number, const RunRecord& run) {
    RunVerdict v;
    v.clean = run.violations.empty();
    const std::string reported = run.reportedOsVersion.empty() ? "no version" : "OS " + Printable(run.reportedOsVersion);
    v.line = "run " + std::to_string(number) + " read back after its restart: the calculator reported " + reported;
    if (!run.violations.empty()) v.line += "; 1st protocol violation: " + run.violations.front();
    v.report = "run=" + std::to_string(number) + " read_back=1 clean=" + (v.clean ? "1" : "0") +
               " violations=" + std::to_string(run.violations.size()) + " reported_os_version=" +
               (run.reportedOsVersion.empty() ? "-" : Quoted(run.reportedOsVersion));
    return v;
}

RunVerdict JudgeRun(int number, const RunRecord& run, const Expectation& expect) {
    const bool complete = run.ending == RunRecord::Ending::Terminate;
    const Match stub = Compare(run.stub, expect.stubFile, complete);
    const Match os = Compare(run.osImage, expect.osFile, complete);
    RunVerdict v;
    // Only a run the updater brought to its normal end can be clean.
    v.clean = complete && run.violations.empty() && stub != Match::No && os != Match::No;
    v.line = "run " + std::to_string(number) + ": " + Outcome(run, stub, os, expect);
    if (!run.violations.empty()) {
        v.line += "; " + std::to_string(run.violations.size()) + " protocol violation(s): " + run.violations.front();
        if (run.violations.size() > 1) v.line += " (and more)";
    }
    v.report = "run=" + std::to_string(number) + " ending=" + EndingName(run.ending) +
               " clean=" + (v.clean ? "1" : "0") + " violations=" + std::to_string(run.violations.size()) +
               " block_size=" + std::to_string(run.blockSize) + " route=" + (run.stubRoute ? "stub" : "os") +
               " stub_bytes=" + std::to_string(run.stub.size()) + " os_bytes=" + std::to_string(run.osImage.size()) +
               " stub_match=" + MatchName(stub) + " os_match=" + MatchName(os) +
               " os_attempts=" + std::to_string(run.osAttempts) + " tail_checks=" + std::to_string(run.tailChecks) +
               " new_os_version=" + (run.newOsVersion.empty() ? "-" : Quoted(run.newOsVersion)) +
               " cut_mid_flash=" + (CutOffMidFlash(run) ? "1" : "0") +
               " os_blocks=" + std::to_string(run.osBlocksReceived) + "/" + std::to_string(run.osBlocksTotal);
    if (run.firstByteMs >= 0) v.report += " first_byte_ms=" + std::to_string(run.firstByteMs);
    if (run.exchangeUs >= 0) v.report += " exchange_us=" + std::to_string(run.exchangeUs);
    if (!run.violations.empty()) v.report += " first_violation=" + Quoted(run.violations.front());
    return v;
}

}  // namespace zsim
