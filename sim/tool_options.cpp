// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/tool_options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <type_traits>

#include "sim/wire.h"

namespace zsim {
namespace {

bool ParseNumber(const std::string& text, long long min, long long max, long long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max) return false;
    out = v;
    return true;
}

bool ParseModel(std::string text, std::array<uint8_t, 4>& out) {
    if (text.size() != 8) return false;
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto value = wire::ParseHex(reinterpret_cast<const uint8_t*>(text.data()), 8);
    if (!value) return false;
    for (int i = 0; i < 4; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(*value >> (24 - 8 * i));
    return true;
}

bool ParseFault(const std::string& text, Fault& out) {
    static const std::map<std::string, FaultKind> kKinds = {
        {"hangup", FaultKind::HangUp}, {"silent", FaultKind::GoSilent}, {"corrupt", FaultKind::Corrupt},
        {"truncate", FaultKind::Truncate}, {"oversize", FaultKind::Oversize}, {"duplicate", FaultKind::Duplicate},
        {"flood", FaultKind::Flood},         {"stall", FaultKind::Stall},       {"trickle", FaultKind::Trickle}};
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    const auto kind = kKinds.find(text.substr(0, colon));
    long long at = 0;
    if (kind == kKinds.end() || !ParseNumber(text.substr(colon + 1), 0, 1 << 30, at)) return false;
    out.kind = kind->second;
    out.at = static_cast<int>(at);
    return true;
}

using Setter = std::function<bool(const std::string&, ToolOptions&)>;

// Seconds with up to three decimals ("2", "0.5"), at most ten minutes.
bool SetMilliseconds(const std::string& v, int& ms) {
    const auto point = v.find('.');
    const std::string whole = v.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : v.substr(point + 1);
    long long seconds = 0;
    long long thousandths = 0;
    if (!ParseNumber(whole, 0, 600, seconds) || fraction.size() > 3 ||
        (point != std::string::npos && (fraction.empty() || !ParseNumber(fraction + std::string(3 - fraction.size(), '0'), 0, 999, thousandths))))
        return false;
    ms = static_cast<int>(seconds * 1000 + thousandths);
    return ms <= 600000;
}

bool SetNumber(const std::string& v, long long min, long long max, auto& field) {
    long long n = 0;
    if (!ParseNumber(v, min, max, n)) return false;
    field = static_cast<std::remove_reference_t<decltype(field)>>(n);
    return true;
}

const std::map<std::string, Setter>& Setters() {
    static const std::map<std::string, Setter> kSetters = {
        {"--model", [](const std::string& v, ToolOptions& o) { return ParseModel(v, o.calculator.modelCode); }},
        {"--os-version", [](const std::string& v, ToolOptions& o) { o.calculator.osVersion = v; return true; }},
        {"--block-size", [](const std::string& v, ToolOptions& o) {
             if (v != "1024" && v != "256") return false;
             o.calculator.ackBlockSizeProbe = v == "1024";
             return true;
         }},
        {"--route", [](const std::string& v, ToolOptions& o) {
             if (v != "os" && v != "stub") return false;
             o.calculator.ackIdentityRequest = v == "os";
             return true;
         }},
        {"--reject-tail", [](const std::string& v, ToolOptions& o) { return SetNumber(v, 0, 1000, o.calculator.rejectTailChecks); }},
        {"--identity-packets", [](const std::string& v, ToolOptions& o) { return SetNumber(v, 0, 65535, o.calculator.identityPacketCount); }},
        {"--model-payload", [](const std::string& v, ToolOptions& o) { return SetNumber(v, 0, 1000, o.calculator.modelPacketPayloadLength); }},
        {"--fault", [](const std::string& v, ToolOptions& o) { return ParseFault(v, o.calculator.fault); }},
        {"--runs", [](const std::string& v, ToolOptions& o) { return SetNumber(v, 1, 1 << 30, o.runs); }},
        {"--expect-stub", [](const std::string& v, ToolOptions& o) { o.expectStub = v; return !v.empty(); }},
        {"--expect-os", [](const std::string& v, ToolOptions& o) { o.expectOs = v; return !v.empty(); }},
        {"--report", [](const std::string& v, ToolOptions& o) { o.reportFile = v; return !v.empty(); }},
        {"--write-demo-images", [](const std::string& v, ToolOptions& o) { o.writeDemoDir = v; return !v.empty(); }},
        {"--image-version", [](const std::string& v, ToolOptions& o) {
             o.imageVersion = v;
             return v.size() == wire::kImageVersionLength;
         }},
        {"--os-size", [](const std::string& v, ToolOptions& o) {
             return SetNumber(v, static_cast<long long>(wire::kImageHeaderEnd), 1LL << 30, o.osSize);
         }},
        {"--replay", [](const std::string& v, ToolOptions& o) { o.replayFile = v; return !v.empty(); }},
        {"--replay-timing", [](const std::string& v, ToolOptions& o) {
             o.replayRecordedTiming = v == "recorded";
             return v == "recorded" || v == "fast";
         }},
        {"--replay-device", [](const std::string& v, ToolOptions& o) { o.replayDevice = v; return !v.empty(); }},
        {"--usb-id", [](const std::string& v, ToolOptions& o) {
             const auto id = ParseUsbId(v);
             if (id) o.usbId = *id;
             return id.has_value();
         }},
        {"--usb-serial", [](const std::string& v, ToolOptions& o) { o.usbSerial = v; return ValidUsbSerial(v); }},
        {"--udc", [](const std::string& v, ToolOptions& o) {
             o.udc = v;
             return !v.empty() && v.find('/') == std::string::npos && v.find('\n') == std::string::npos && v != "." &&
                    v != "..";
         }},
        {"--stub-size", [](const std::string& v, ToolOptions& o) { return SetNumber(v, 0, 1LL << 30, o.stubSize); }},
        {"--restart-time", [](const std::string& v, ToolOptions& o) { return SetMilliseconds(v, o.calculator.restartMs); }},
        {"--after-update", [](const std::string& v, ToolOptions& o) {
             using A = Options::AfterUpdate;
             static const std::map<std::string, A> kWays = {{"adopt", A::Adopt}, {"keep", A::Keep}, {"silent", A::Silent}};
             const auto way = kWays.find(v);
             if (way == kWays.end()) return false;
             o.calculator.afterUpdate = way->second;
             return true;
         }},
    };
    return kSetters;
}

}  // namespace

bool ParseToolOptions(const std::vector<std::string>& args, ToolOptions& out, std::string& error) {
    bool gadgetOnly = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        if (name == "--help" || name == "-h") {
            out.help = true;
            continue;
        }
        if (name == "--verdict") {
            out.verdict = true;
            continue;
        }
        if (name == "--usb-gadget") {
            out.usbGadget = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        const auto setter = Setters().find(name);
        if (setter == Setters().end()) {
            error = "unknown option '" + args[i] + "'";
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                error = "option '" + name + "' needs a value";
                return false;
            }
            value = args[++i];
        }
        gadgetOnly = gadgetOnly || name == "--usb-id" || name == "--usb-serial" || name == "--udc";
        if (!setter->second(value, out)) {
            error = "bad value '" + value + "' for option '" + name + "'";
            return false;
        }
    }
    if (gadgetOnly && !out.usbGadget) {
        error = "--usb-id, --usb-serial and --udc need --usb-gadget";
        return false;
    }
#ifndef __linux__
    if (out.usbGadget) {
        error = "--usb-gadget needs Linux (a USB device port, configfs and FunctionFS)";
        return false;
    }
#endif
    if (out.usbGadget && !out.writeDemoDir.empty()) {
        error = "--usb-gadget does not go with --write-demo-images";
        return false;
    }
    return true;
}

std::string ToolUsage() {
    return "Usage: zentrix-calc-sim [OPTION]...\n"
           "A simulated Zentrix calculator on a pty. Prints the pty's path as the first line,\n"
           "then serves one update run after another on it.\n"
           "\n"
           "  --model HEX8            model code, 8 hex digits (default 33363545, also FFFFFFFF, 80005D7C)\n"
           "  --os-version TEXT       OS version the calculator reports (default 01.00.0000)\n"
           "  --block-size 1024|256   answer the block-size probe with Ack (1024) or Nak (256)\n"
           "  --route os|stub         answer the identity request with Ack (os) or Nak (stub)\n"
           "  --reject-tail N         reject the first N tail checks of each run\n"
           "  --identity-packets N    send N identity packets instead of 256\n"
           "  --model-payload N       payload length of identity packet 3\n"
           "  --fault KIND:N          hangup:N or silent:N after N packets of the updater;\n"
           "                          corrupt:N, truncate:N or oversize:N on the calculator's packet N (0-based)\n"
           "                          duplicate:N (sent twice), flood:N (64 spare Acks after it) or\n"
           "                          trickle:N (8 bytes, then one byte every 3 s) on the calculator's packet N;\n"
           "                          stall:N stops taking data after answering N packets of the updater\n"
           "  --runs N                exit after N runs, however they end (default: serve until\n"
           "                          SIGINT or SIGTERM); a run ends when the updater closes the pty;\n"
           "                          the read-back of an update after its restart is not counted,\n"
           "                          and the last one is waited for (restart time and 10 s at most)\n"
           "  --restart-time S        after a run that installed an OS the calculator restarts: the\n"
           "                          line is dead for S seconds (default 2; a USB device unplugs\n"
           "                          and plugs in again with the same serial number)\n"
           "  --after-update adopt|keep|silent\n"
           "                          after its restart it reports the image's version (adopt, the\n"
           "                          default), its old version (keep) or nothing at all (silent)\n"
           "  --expect-stub FILE      compare the received updater stub with FILE\n"
           "  --expect-os FILE        compare the received OS image with FILE\n"
           "  --verdict               print one line per run on standard output\n"
           "  --report FILE           append one key=value line per run to FILE\n"
           "  --write-demo-images DIR write UpdateExe.bin and UpdateCode.bin into DIR and exit\n"
           "  --image-version TEXT    10-character version text of the demo OS image (default 01.05.0000)\n"
           "  --os-size N             size of the demo OS image (default 70000, at least 65578)\n"
           "  --stub-size N           size of the demo updater stub (default 3000)\n"
           "  --replay TRACE          play the calculator's side of a trace zentrix-update wrote\n"
           "                          (ZENTRIX_TRACE, or a problem report) byte for byte, and stop at\n"
           "                          the first byte the updater sends that the trace does not hold\n"
           "  --replay-timing recorded|fast\n"
           "                          send the calculator's bytes at their recorded times, or at once\n"
           "                          (the default)\n"
           "  --replay-device DEV     replay the session on DEV (default: the trace's first session)\n"
           "  --usb-gadget            also be a USB device (Linux, as root): a configfs gadget with one\n"
           "                          vendor interface and a bulk endpoint each way, plugged in on a\n"
           "                          USB device controller once it can answer, unplugged at exit\n"
           "  --usb-id VVVV:PPPP      the gadget's vendor and product (default 1d50:6018, a test pair)\n"
           "  --usb-serial TEXT       the gadget's serial number (default ZXSIM and the process id)\n"
           "  --udc NAME              the device controller (default the first free one in /sys/class/udc)\n"
           "  --help                  show this help\n"
           "\n"
           "A verdict tells a run that ended normally (images received, intact when they match)\n"
           "from one abandoned by the updater (Terminate04), one whose link was lost, and one\n"
           "that did not end (SIGINT or SIGTERM came first); a run that stopped during the OS\n"
           "image says how far it got (OS image cut off mid-flash after N of M blocks).\n"
           "SIGINT and SIGTERM report the runs so far, a run under way as it stands, and exit.\n"
           "A replay serves one run; its verdict says whether the updater followed the trace to\n"
           "its end, or where it left it: the byte, the trace line, expected and received bytes;\n"
           "stopped before any updater came, it was not run. The trace is read as it comes (a\n"
           "FIFO too), a line of 1 MiB at most; a trace cut off inside a line replays up to the\n"
           "cut and says so. What the trace holds is printed and reported escaped.\n"
           "\n"
           "Exit status: 0 when every run ended normally, free of protocol violations, with the\n"
           "images matching the expected files, and (with --runs N) N runs were seen; 1 otherwise,\n"
           "2 for a bad command line. A replay: 0 when the updater followed the trace to its end,\n"
           "1 when it left it, was not run, or the trace cannot be replayed.\n";
}

}  // namespace zsim
