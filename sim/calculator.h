// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated calculator: its side of the update conversation, the pty that
// serves it to the updater, and the demo image files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/pc_framer.h"

namespace zsim {

enum class FaultKind { None, HangUp, GoSilent, Corrupt, Truncate, Oversize, Duplicate, Flood, Stall, Trickle };

struct Fault {
    FaultKind kind = FaultKind::None;
    // HangUp / GoSilent: the calculator answers this many packets of the run,
    // then the link goes when the next one arrives, before it is answered
    // (0 = the first packet is not answered).
    // Corrupt / Truncate / Oversize: the calculator's own packet with this
    // 0-based index among the packets it sends in the run. Corrupt flips a bit
    // of byte 1 (a compared byte of every reply); Truncate sends only the first
    // half and then stays silent; Oversize gives a data packet a data-size
    // field (0FFF) larger than 1022 and than the bytes that follow; when the
    // packet at `at` is not a data packet, the next data packet gets it.
    // Duplicate sends the packet twice in a row; Flood sends 64 spare Acks
    // right after it; Trickle sends its first 8 bytes at once and the rest
    // one byte every 3 s.
    // Stall: the calculator answers this many packets of the run, then stops
    // taking data (the line's flow is stopped, as a cable's handshake would).
    int at = -1;
};

struct Options {
    std::array<uint8_t, 4> modelCode{0x33, 0x36, 0x35, 0x45};   // "365E"
    std::string osVersion = "01.00.0000";   // text at offset 104 of the device-information reply
    bool ackBlockSizeProbe = true;           // true: block size 1024, false: Nak -> 256
    bool ackIdentityRequest = true;          // true: OS route, false: stub route
    int rejectTailChecks = 0;                // how many tail checks to reject before accepting
    int modelPacketPayloadLength = -1;       // payload bytes of identity packet 3 (-1: a normal size)
    int identityPacketCount = 256;           // to test a calculator that sends more or fewer
    Fault fault;
    int quietMs = 1000;                      // pty: silence after which a partial packet is judged
    // After a run that installed an OS image the calculator restarts: the
    // line is dead for this long (what is sent meanwhile is lost), then it
    // answers as `afterUpdate` says.
    int restartMs = 0;
    enum class AfterUpdate { Adopt, Keep, Silent };
    // Adopt: it reports the image's version from then on (on the OS route);
    // Keep: its old version; Silent: it never answers again.
    AfterUpdate afterUpdate = AfterUpdate::Adopt;
};

struct Packet {
    bool fromPc;
    std::vector<uint8_t> bytes;
};

struct RunRecord {
    std::vector<Packet> log;                // every packet both ways, in order (templates with their zero byte)
    std::vector<uint8_t> stub;              // the uploaded updater stub
    std::vector<uint8_t> osImage;           // the OS image of the last attempt
    int osAttempts = 0;                     // OS image announcements seen
    int tailChecks = 0;
    enum class Ending { None, Terminate, Terminate04, LinkLost } ending = Ending::None;
    std::vector<std::string> violations;    // every protocol error the calculator found
    std::string newOsVersion;               // version text of the installed OS image after a complete run
    int blockSize = 0;                      // 1024 or 256 once the probe was answered
    bool stubRoute = false;                 // the identity request was refused
    bool osImageAccepted = false;           // the last OS image attempt was complete and accepted
    uint32_t osBlocksReceived = 0;          // blocks of the last OS image attempt taken so far
    uint32_t osBlocksTotal = 0;             // blocks that attempt announced
    bool afterRestart = false;              // after a restart, before the calculator was read back
    std::string reportedOsVersion;          // the version the calculator told, once it did
    // From the link coming up (the pty made, the USB device plugged in, its
    // restart over) to the run's first byte, in ms; -1 when not known.
    int64_t firstByteMs = -1;
    // From the run's first byte to the last byte either side sent, in µs;
    // -1 when not known.
    int64_t exchangeUs = -1;
};

// True when the run received no image and came after a restart, before
// the calculator was read back: the updater reading it back after its
// update, or trying to while it restarted.
bool ReadBack(const RunRecord& run);
// A read-back that got the calculator's version (or its updater-only answer).
bool ReadBackAnswered(const RunRecord& run);

// The run ended normally with an OS installed: the calculator restarts.
bool InstalledOs(const RunRecord& run);
// What the calculator is after that restart, as `options.afterUpdate`
// says; whatever fault it had is gone.
Options RestartedOptions(Options options, const RunRecord& updated);

// True when an OS image transfer had begun and the run ended before the
// calculator accepted the image: its flash memory holds a partial OS.
bool CutOffMidFlash(const RunRecord& run);

// The calculator's side of one conversation, independent of the transport.
// Feed it the updater's bytes; take what it answers.
class Calculator {
public:
    explicit Calculator(Options options = {});

    // Takes bytes from the updater and answers whatever packets they complete.
    // Bytes that arrive after the run has ended are kept for the next run.
    void Receive(const uint8_t* data, size_t n);
    void Receive(const std::vector<uint8_t>& bytes) { Receive(bytes.data(), bytes.size()); }
    // The updater has sent nothing for a while: a command still waiting for
    // its zero byte, or a partial packet, is judged as it stands.
    void OnQuiet();
    // The link broke (the updater went away) before the run ended.
    void LinkLost();

    // What the calculator has sent since the last call.
    std::vector<uint8_t> TakeOutput();
    // The part of the output to be sent slowly (Trickle), after TakeOutput's.
    std::vector<uint8_t> TakeSlowOutput();
    // The calculator takes no more data (Stall).
    bool Stalled() const { return stalled_; }
    // Bytes received after the end of this run (they belong to the next run).
    std::vector<uint8_t> TakeLeftover();

    bool Started() const { return record_.log.size() > 0; }
    bool Ended() const { return record_.ending != RunRecord::Ending::None; }
    bool HungUp() const { return hungUp_; }
    bool HasPartialInput() const { return framer_.Pending() > 0; }
    const RunRecord& Record() const { return record_; }
    const Options& GetOptions() const { return options_; }
    // This run is the first after a restart.
    void MarkAfterRestart() { record_.afterRestart = true; }

private:
    enum class State {
        AwaitCheck, AwaitProbe, AwaitIdentityRequest, AwaitRoleSwap, IdentityStream,
        AwaitInfoRequest, AwaitStubCommand, StubBlocks, AwaitAfterStubRequest,
        AwaitOsCommand, OsBlocks, AwaitTailCheck, AwaitTerminate, Ended,
    };
    struct Transfer {
        std::vector<uint8_t>* target = nullptr;
        uint8_t subtypeChar = 0;   // second character of the subtype, '6' or '7'
        uint32_t size = 0;
        uint32_t blocks = 0;
        uint32_t next = 1;
    };

    void Process(bool quiet);
    void Handle(const PcFramer::Frame& frame);
    bool TriggersLinkFault();
    void Dispatch(const uint8_t* p, size_t n);
    void End(RunRecord::Ending ending);
    void Send(const std::vector<uint8_t>& packet, bool isData = false);
    void Violation(const std::string& text);
    void Refuse(const std::string& text);
    void Unexpected(const uint8_t* p, size_t n, const char* awaited);

    void OnIdentityAck();
    void OnStubCommand(const uint8_t* p, size_t n);
    void OnOsCommand(const uint8_t* p, size_t n);
    void OnTailCheck(const uint8_t* p, size_t n);
    void OnImageBlock(const uint8_t* p, size_t n);
    bool BeginTransfer(std::vector<uint8_t>& target, uint8_t subtypeChar, uint32_t size);
    bool AcceptBlock(const uint8_t* p, size_t n);
    void FinishStub();
    void FinishOsImage();
    void OnTerminate();

    Options options_;
    RunRecord record_;
    PcFramer framer_;
    State state_ = State::AwaitCheck;
    Transfer transfer_;
    std::vector<uint8_t> output_;
    std::vector<uint8_t> slowOutput_;
    std::vector<uint8_t> leftover_;
    std::vector<uint8_t> scratch_;
    int identitySent_ = 0;
    int rejectsLeft_ = 0;
    int received_ = 0;
    int sent_ = 0;
    bool silent_ = false;
    bool hungUp_ = false;
    bool stalled_ = false;
    bool oversizePending_ = false;
};

// Serves runs on the master side of a pty from a background thread. A run
// also ends (link lost) when every other holder of the slave side has closed
// it, e.g. because the updater was killed: the simulator keeps a slave
// descriptor of its own, so it watches the opens and closes of the slave's
// name to tell.
class PtyCalculator {
public:
    explicit PtyCalculator(Options options = {});
    ~PtyCalculator();                        // stops the thread, closes the pty
    PtyCalculator(const PtyCalculator&) = delete;
    PtyCalculator& operator=(const PtyCalculator&) = delete;

    bool Start();                            // opens the pty (raw, no echo) and starts serving
    const std::string& SlavePath() const;
    // Waits until `n` runs have ended; false on timeout (or when serving stopped short of `n`).
    bool WaitForRuns(int n, int timeoutMs = 30000);
    std::vector<RunRecord> Runs() const;     // finished runs (a copy)
    void SetOptions(const Options&);         // for the next run
    // False once the calculator hung up (or was stopped): no further runs come.
    bool Serving() const;
    // Stops serving. A run under way is recorded as it stands (not ended).
    void Stop();
    // Told from the serving thread when a restart begins (true) and when the
    // calculator answers again (false): a USB device unplugs and plugs in.
    void OnRestart(std::function<void(bool restarting)> hook);
    // The link is up from now (the USB device was plugged in): what the
    // next run's first byte is timed from.
    void MarkLinkUp();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// True when `received` equals the contents of the file at `path`.
bool EqualsFile(const std::vector<uint8_t>& received, const std::string& path);

// Writes UpdateExe.bin (a stub of `stubSize` bytes) and UpdateCode.bin (an OS
// image of `osSize` bytes, at least 0x1002A, with the model code at 0x1001C
// and the 10-character version text at 0x10020) into `dir`. The content is
// deterministic and includes bytes that need escaping (below 0x20 and 0x5C).
// Makes `dir` (and its parents) when missing. False (and no file left
// behind) when the sizes or the version text do not fit or the folder or a
// file cannot be made or written; then `why`, when given, says which, in the
// system's words.
bool WriteDemoImages(const std::string& dir, std::array<uint8_t, 4> modelCode, const std::string& version,
                     size_t osSize, size_t stubSize, std::string* why = nullptr);

}  // namespace zsim
