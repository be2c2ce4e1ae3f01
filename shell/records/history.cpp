// SPDX-License-Identifier: GPL-3.0-or-later
// The record of one update run, made from what the run learned and appended
// to the history.
#include "shell/records/history.h"
#include "shell/records/history_file.h"

#include <cstdio>

#include "i18n/stored_message.h"
#include "i18n/text_format.h"
#include "shell/records/system_log.h"

namespace {

constexpr const char* kNotKept = N_("this run is not kept in the history: %s");
constexpr const char* kNotLogged = N_("this run is not in the system log: %s");

std::optional<std::string> Known(const std::string& text)
{
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

}  // namespace

HistoryRecord MakeHistoryRecord(const UpdateOutcome& outcome, std::chrono::system_clock::time_point started,
                                std::chrono::system_clock::time_point ended, const char* mode,
                                const std::string& programVersion)
{
    const UpdateFacts& facts = outcome.facts;
    HistoryRecord record;
    auto& f = record.fields;
    f[kStarted] = IsoUtc(started);
    f[kEnded] = IsoUtc(ended);
    f[kDevice] = Known(facts.device);
    f[kUsbSerial] = Known(facts.usbSerial);
    f[kUsbPort] = Known(facts.usbPort);
    f[kLabel] = Known(facts.label);
    f[kAssetTag] = Known(facts.assetTag);
    f[kModel] = Known(facts.model);
    f[kOsBefore] = Known(facts.osBefore);
    f[kOsImage] = Known(facts.osImage);
    f[kRoute] = Known(facts.route);
    f[kBlockSize] = facts.blockSize == 0 ? std::nullopt : std::optional<std::string>(std::to_string(facts.blockSize));
    f[kResult] = ResultWord(outcome.result);
    // An updated run has a reason only when it could not be confirmed.
    f[kReason] = outcome.reason.Empty() || outcome.result == Checked ? std::nullopt
                                                                     : std::optional<std::string>(outcome.reason.English());
    f[kMode] = mode;
    f[kHost] = Known(HostName());
    f[kProgramVersion] = Known(programVersion);
    f[kReasonMessage] = outcome.reason.Empty() ? std::nullopt : StoreMessage(outcome.reason);
    f[kNeedsUpdate] = Known(facts.needsUpdate);
    f[kImageSha256] = Known(facts.imageSha256);
    f[kStubSha256] = Known(facts.stubSha256);
    const char* code = ReasonCodeWord(outcome.code);
    f[kReasonCode] = code != nullptr ? std::optional<std::string>(code) : std::nullopt;
    f[kOsAfter] = Known(facts.osAfter);
    f[kConfirmed] = Known(facts.confirmed);
    return record;
}

HistoryRecord RecordRun(const HistorySettings& settings, const char* mode,
                        std::chrono::system_clock::time_point started, const UpdateOutcome& outcome,
                        IUpdatePort& port)
{
    const auto ended = std::chrono::system_clock::now();
    HistoryRecord record = MakeHistoryRecord(outcome, started, ended, mode, settings.programVersion);
    record.fields[kSetId] = Known(settings.setId);
    record.fields[kRetryOf] = Known(settings.retryOf);
    record.fields[kSite] = Known(settings.site);
    record.fields[kStation] = Known(settings.station);
    if (settings.metrics) {
        const Message notWritten = settings.metrics->RunEnded(outcome, ended);
        if (!notWritten.Empty()) {
            port.Warn(notWritten);
        }
    }
    // A run that opened no calculator (none found, a port with nothing
    // plugged in, images refused) has none to keep a record of; its
    // problem is said all the same.
    if (!settings.keep || !outcome.facts.opened) {
        return record;
    }
    const std::string line = FormatHistoryLine(record);
    Message problem;
    if (settings.path.empty()) {
        port.Warn(Message(kNotKept, {Message(N_("the environment names no folder for it"))}));
    } else {
        const StopRequests* stops = settings.stops;
        const auto keepTrying = [stops] {
            return stops == nullptr || (stops->interrupt == 0 && stops->terminate == 0);
        };
        const std::lock_guard<std::mutex> ownTurn(*settings.writer);
        if (!AppendHistoryLine(settings.path, line, keepTrying, problem)) {
            port.Warn(Message(kNotKept, {problem}));
        }
    }
    if (settings.systemLog && !WriteSystemLog(record, line, problem, settings.systemLogRoute)) {
        port.Warn(Message(kNotLogged, {problem}));
    }
    if (settings.hooks) {
        settings.hooks->RunEnded(line, record);
    }
    return record;
}
