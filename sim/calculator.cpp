// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/calculator.h"

#include <algorithm>
#include <cstdio>

#include "sim/replies.h"
#include "sim/wire.h"

namespace zsim {
namespace {

using wire::Equals;

// A packet as text for messages: printable characters as they are, the rest as \xNN.
std::string Describe(const uint8_t* p, size_t n) {
    std::string text;
    char hex[8];
    for (size_t i = 0; i < n && i < 40; ++i) {
        if (p[i] >= 0x20 && p[i] < 0x7F && p[i] != '\\') {
            text += static_cast<char>(p[i]);
        } else {
            std::snprintf(hex, sizeof hex, "\\x%02X", p[i]);
            text += hex;
        }
    }
    if (n > 40) text += "...";
    return text;
}

bool HasPrefix(const uint8_t* p, size_t n, const char* prefix, size_t len) {
    return n >= len && std::equal(prefix, prefix + len, p);
}

uint32_t BlockCount(uint32_t size, uint32_t blockSize) { return (size + blockSize - 1) / blockSize; }

}  // namespace

bool CutOffMidFlash(const RunRecord& run) { return run.osAttempts > 0 && !run.osImageAccepted; }

bool ReadBack(const RunRecord& run) {
    return run.afterRestart && run.stub.empty() && run.osAttempts == 0;
}

bool ReadBackAnswered(const RunRecord& run) { return !run.reportedOsVersion.empty() || run.stubRoute; }

bool InstalledOs(const RunRecord& run) {
    return run.ending == RunRecord::Ending::Terminate && !run.newOsVersion.empty();
}

Options RestartedOptions(Options options, const RunRecord& updated) {
    if (options.afterUpdate == Options::AfterUpdate::Adopt) {
        options.osVersion = updated.newOsVersion;
        options.ackIdentityRequest = true;   // it has an OS now
    }
    options.fault = {};
    return options;
}

Calculator::Calculator(Options options) : options_(std::move(options)) {
    rejectsLeft_ = options_.rejectTailChecks;
    if (options_.fault.kind == FaultKind::Oversize && options_.fault.at < 0) options_.fault.kind = FaultKind::None;
}

void Calculator::Receive(const uint8_t* data, size_t n) {
    size_t offset = 0;
    while (offset < n && !Ended()) {
        offset += framer_.Append(data + offset, n - offset);
        Process(false);
    }
    if (offset < n) leftover_.insert(leftover_.end(), data + offset, data + n);
}

void Calculator::OnQuiet() {
    if (!Ended()) Process(true);
}

void Calculator::LinkLost() {
    if (!Ended()) End(RunRecord::Ending::LinkLost);
}

std::vector<uint8_t> Calculator::TakeOutput() {
    std::vector<uint8_t> out;
    out.swap(output_);
    return out;
}

std::vector<uint8_t> Calculator::TakeSlowOutput() {
    std::vector<uint8_t> out;
    out.swap(slowOutput_);
    return out;
}

std::vector<uint8_t> Calculator::TakeLeftover() {
    std::vector<uint8_t> rest(framer_.PendingData(), framer_.PendingData() + framer_.Pending());
    rest.insert(rest.end(), leftover_.begin(), leftover_.end());
    framer_.Clear();
    leftover_.clear();
    return rest;
}

void Calculator::Process(bool quiet) {
    PcFramer::Frame frame;
    while (!Ended() && framer_.Next(frame, quiet)) Handle(frame);
}

void Calculator::Handle(const PcFramer::Frame& frame) {
    if (frame.kind == PcFramer::Kind::Garbage) {
        record_.log.push_back({true, {frame.data, frame.data + frame.size}});
        if (!silent_) Refuse(std::string(frame.problem) + ": " + Describe(frame.data, frame.size));
        return;
    }
    // A Check in the middle of a run opens a new conversation: the updater
    // that had this one has gone.
    if (state_ != State::AwaitCheck && Equals(frame.data, frame.size, wire::CheckPacket())) {
        framer_.Unread(frame);
        End(RunRecord::Ending::LinkLost);
        return;
    }
    ++received_;
    record_.log.push_back({true, {frame.data, frame.data + frame.size}});
    if (TriggersLinkFault()) return;
    const size_t n = frame.size - (frame.isTemplate && !frame.missingZero ? 1 : 0);
    const uint8_t* p = frame.data;
    if (Equals(p, n, wire::Terminate04())) {
        End(RunRecord::Ending::Terminate04);
        return;
    }
    if (Equals(p, n, wire::Terminate())) {
        OnTerminate();
        return;
    }
    if (silent_) return;
    const uint8_t expected = wire::Checksum(p + 1, n - 3);
    const auto sent = wire::ParseHex(p + n - 2, 2);
    if (!sent || *sent != expected) {
        char text[64];
        std::snprintf(text, sizeof text, "bad checksum (expected %02X): ", expected);
        Refuse(text + Describe(p, n));
        return;
    }
    if (frame.missingZero) {
        Refuse("command sent without its terminating zero byte: " + Describe(p, n));
        return;
    }
    Dispatch(p, n);
    if (options_.fault.kind == FaultKind::Stall && received_ == options_.fault.at) stalled_ = true;
}

bool Calculator::TriggersLinkFault() {
    const Fault& f = options_.fault;
    if (received_ != f.at + 1) return false;
    if (f.kind == FaultKind::HangUp) {
        hungUp_ = true;
        End(RunRecord::Ending::LinkLost);
        return true;
    }
    if (f.kind == FaultKind::GoSilent) silent_ = true;
    return false;
}

void Calculator::Dispatch(const uint8_t* p, size_t n) {
    switch (state_) {
        case State::AwaitCheck:
            if (!Equals(p, n, wire::CheckPacket())) return Unexpected(p, n, "the connection check");
            Send(wire::Ack());
            state_ = State::AwaitProbe;
            return;
        case State::AwaitProbe:
            if (!Equals(p, n, wire::Probe())) return Unexpected(p, n, "the block-size probe");
            record_.blockSize = options_.ackBlockSizeProbe ? 1024 : 256;
            Send(options_.ackBlockSizeProbe ? wire::Ack() : wire::Nak04());
            state_ = State::AwaitIdentityRequest;
            return;
        case State::AwaitIdentityRequest:
            if (!Equals(p, n, wire::IdentityRequest())) return Unexpected(p, n, "the identity request");
            record_.stubRoute = !options_.ackIdentityRequest;
            Send(options_.ackIdentityRequest ? wire::Ack() : wire::Nak04());
            state_ = options_.ackIdentityRequest ? State::AwaitRoleSwap : State::AwaitStubCommand;
            return;
        case State::AwaitRoleSwap:
            if (!Equals(p, n, wire::RoleSwap())) return Unexpected(p, n, "the role swap");
            Send(record_.stubRoute ? wire::IdentityCommand50() : wire::IdentityCommand55());
            identitySent_ = 0;
            state_ = State::IdentityStream;
            return;
        case State::IdentityStream:
            if (!Equals(p, n, wire::Ack())) return Unexpected(p, n, "an Ack to the identity stream");
            return OnIdentityAck();
        case State::AwaitInfoRequest:
            if (!Equals(p, n, wire::InfoRequest())) return Unexpected(p, n, "the device-information request");
            Send(DeviceInfoReply(options_.osVersion));
            record_.reportedOsVersion = options_.osVersion;
            state_ = State::AwaitStubCommand;
            return;
        case State::AwaitStubCommand:
            return OnStubCommand(p, n);
        case State::StubBlocks:
        case State::OsBlocks:
            return OnImageBlock(p, n);
        case State::AwaitAfterStubRequest:
            if (!Equals(p, n, wire::AfterStubRequest())) return Unexpected(p, n, "the request that follows the stub");
            Send(wire::Ack());
            state_ = State::AwaitRoleSwap;
            return;
        case State::AwaitOsCommand:
            return OnOsCommand(p, n);
        case State::AwaitTailCheck:
            return OnTailCheck(p, n);
        case State::AwaitTerminate:
            return Unexpected(p, n, "the end of the conversation");
        case State::Ended:
            return;
    }
}

void Calculator::OnIdentityAck() {
    const int count = std::max(0, options_.identityPacketCount);
    if (identitySent_ >= count) {
        Send(wire::RoleSwap());
        state_ = record_.stubRoute ? State::AwaitOsCommand : State::AwaitInfoRequest;
        return;
    }
    const auto payload = IdentityPayload(identitySent_, options_.modelCode, options_.modelPacketPayloadLength);
    const uint8_t subtype = record_.stubRoute ? 0x50 : 0x55;
    ++identitySent_;
    Send(wire::DataPacket(subtype, static_cast<uint16_t>(count), static_cast<uint16_t>(identitySent_),
                          payload.data(), payload.size()),
         true);
}

void Calculator::OnStubCommand(const uint8_t* p, size_t n) {
    if (!HasPrefix(p, n, "\x01" "56", 3)) return Unexpected(p, n, "the announcement of the updater stub");
    if (!HasPrefix(p, n, "\x01" "5610018", 8) || n != 34 || !HasPrefix(p + 16, n - 16, "8803000088030000", 16))
        return Refuse("announcement of the updater stub has a wrong layout: " + Describe(p, n));
    const auto size = wire::ParseHex(p + 8, 8);
    if (!size) return Refuse("updater stub size is not hexadecimal: " + Describe(p, n));
    if (!BeginTransfer(record_.stub, '6', *size)) return;
    Send(wire::Ack());
    if (transfer_.blocks == 0) return FinishStub();
    state_ = State::StubBlocks;
}

void Calculator::OnOsCommand(const uint8_t* p, size_t n) {
    if (!HasPrefix(p, n, "\x01" "57", 3)) return Unexpected(p, n, "the announcement of the OS image");
    if (!HasPrefix(p, n, "\x01" "5710010", 8) || n != 26 || !HasPrefix(p + 16, n - 16, "A0000000", 8))
        return Refuse("announcement of the OS image has a wrong layout: " + Describe(p, n));
    const auto size = wire::ParseHex(p + 8, 8);
    if (!size) return Refuse("OS image size is not hexadecimal: " + Describe(p, n));
    ++record_.osAttempts;
    record_.osImageAccepted = false;
    if (!BeginTransfer(record_.osImage, '7', *size)) return;
    Send(wire::Ack());
    if (transfer_.blocks == 0) return FinishOsImage();
    state_ = State::OsBlocks;
}

bool Calculator::BeginTransfer(std::vector<uint8_t>& target, uint8_t subtypeChar, uint32_t size) {
    const uint32_t blocks = BlockCount(size, static_cast<uint32_t>(record_.blockSize));
    if (blocks > 0xFFFF) {
        Refuse("announced image of " + std::to_string(size) + " bytes needs more than 65535 blocks");
        return false;
    }
    target.clear();
    target.reserve(std::min<size_t>(size, size_t{64} << 20));
    transfer_ = Transfer{&target, subtypeChar, size, blocks, 1};
    if (&target == &record_.osImage) {
        record_.osBlocksReceived = 0;
        record_.osBlocksTotal = blocks;
    }
    return true;
}

void Calculator::OnImageBlock(const uint8_t* p, size_t n) {
    const char header[] = {0x02, '5', static_cast<char>(transfer_.subtypeChar)};
    if (!HasPrefix(p, n, header, 3))
        return Unexpected(p, n, state_ == State::StubBlocks ? "a block of the updater stub" : "a block of the OS image");
    if (!AcceptBlock(p, n)) return;
    const bool last = transfer_.next > transfer_.blocks;
    if (state_ == State::StubBlocks) {
        Send(last ? wire::Ack03() : wire::Ack());
        if (last) FinishStub();
        return;
    }
    Send(wire::Ack());
    if (last) FinishOsImage();
}

bool Calculator::AcceptBlock(const uint8_t* p, size_t n) {
    const std::string what = "block " + std::to_string(transfer_.next) + ": ";
    if (p[3] != '1' || n < 18) {
        Refuse(what + "data packet without its count fields: " + Describe(p, n));
        return false;
    }
    const auto total = wire::ParseHex(p + 8, 4);
    const auto number = wire::ParseHex(p + 12, 4);
    if (!total || *total != transfer_.blocks) {
        Refuse(what + "total count field is not " + std::to_string(transfer_.blocks) + ": " + Describe(p, n));
        return false;
    }
    if (!number || *number != transfer_.next) {
        Refuse(what + "wrong block number: " + Describe(p, n));
        return false;
    }
    scratch_.clear();
    if (wire::AppendUnescaped(p + 16, n - 18, scratch_) != wire::UnescapeError::None) {
        Refuse(what + "payload escaping is broken");
        return false;
    }
    const uint32_t blockSize = static_cast<uint32_t>(record_.blockSize);
    const uint32_t expected = transfer_.next < transfer_.blocks ? blockSize
                                                                : transfer_.size - (transfer_.blocks - 1) * blockSize;
    if (scratch_.size() != expected) {
        Refuse(what + "payload of " + std::to_string(scratch_.size()) + " bytes, expected " + std::to_string(expected));
        return false;
    }
    transfer_.target->insert(transfer_.target->end(), scratch_.begin(), scratch_.end());
    if (transfer_.target == &record_.osImage) record_.osBlocksReceived = transfer_.next;
    ++transfer_.next;
    return true;
}

void Calculator::FinishStub() {
    Send(wire::Ack());
    state_ = record_.stubRoute ? State::AwaitAfterStubRequest : State::AwaitOsCommand;
}

void Calculator::FinishOsImage() {
    if (record_.blockSize == 1024) {
        state_ = State::AwaitTailCheck;
        return;
    }
    record_.osImageAccepted = true;
    state_ = State::AwaitTerminate;
}

void Calculator::OnTailCheck(const uint8_t* p, size_t n) {
    if (!HasPrefix(p, n, "\x01" "58", 3)) return Unexpected(p, n, "the tail check");
    ++record_.tailChecks;
    state_ = State::AwaitOsCommand;   // unless accepted below, the whole image comes again
    if (!HasPrefix(p, n, "\x01" "5810014", 8) || n != 30 || !HasPrefix(p + 16, n - 16, "A0010000", 8))
        return Refuse("tail check has a wrong layout: " + Describe(p, n));
    const auto& image = record_.osImage;
    const auto sizeField = wire::ParseHex(p + 8, 8);
    const uint32_t expectedSize = static_cast<uint32_t>(image.size()) - 0x10000u;
    if (!sizeField || *sizeField != expectedSize)
        return Refuse("tail check size field is not the image size - 0x10000: " + Describe(p, n));
    uint32_t sum = 0;
    for (size_t i = wire::kTailStart; i < image.size(); ++i) sum -= image[i];
    const auto sumField = wire::ParseHex(p + 24, 4);
    if (!sumField || *sumField != (sum & 0xFFFF)) {
        char text[64];
        std::snprintf(text, sizeof text, "tail check sum is wrong (expected %04X): ", sum & 0xFFFF);
        return Refuse(text + Describe(p, n));
    }
    if (rejectsLeft_ > 0) {
        --rejectsLeft_;
        Send(wire::Reject());
        return;
    }
    Send(wire::Ack());
    record_.osImageAccepted = true;
    state_ = State::AwaitTerminate;
}

void Calculator::OnTerminate() {
    if (silent_) return End(RunRecord::Ending::Terminate);
    if (state_ != State::AwaitTerminate) Violation("the updater ended the update as complete before the OS image was accepted");
    Send(wire::Ack());
    const auto& image = record_.osImage;
    if (record_.osImageAccepted && image.size() >= wire::kImageHeaderEnd)
        record_.newOsVersion.assign(image.begin() + wire::kImageVersionOffset, image.begin() + wire::kImageHeaderEnd);
    End(RunRecord::Ending::Terminate);
}

void Calculator::End(RunRecord::Ending ending) {
    record_.ending = ending;
    state_ = State::Ended;
}

void Calculator::Send(const std::vector<uint8_t>& packet, bool isData) {
    if (silent_ || hungUp_) return;
    const Fault& f = options_.fault;
    const int index = sent_++;
    std::vector<uint8_t> out = packet;
    if (f.kind == FaultKind::Corrupt && index == f.at) out[1] ^= 0x01;
    if (f.kind == FaultKind::Oversize && (index == f.at || oversizePending_)) {
        oversizePending_ = !isData;
        if (isData) {
            wire::WriteHex(0x0FFF, 4, &out[4]);
            wire::WriteHex(wire::Checksum(&out[1], out.size() - 3), 2, &out[out.size() - 2]);
        }
    }
    if (f.kind == FaultKind::Truncate && index == f.at) {
        out.resize(out.size() / 2);
        silent_ = true;
    }
    if (f.kind == FaultKind::Trickle && index == f.at && out.size() > 8) {
        output_.insert(output_.end(), out.begin(), out.begin() + 8);
        slowOutput_.insert(slowOutput_.end(), out.begin() + 8, out.end());
    } else {
        output_.insert(output_.end(), out.begin(), out.end());
    }
    if (f.kind == FaultKind::Duplicate && index == f.at) output_.insert(output_.end(), out.begin(), out.end());
    if (f.kind == FaultKind::Flood && index == f.at) {
        for (int i = 0; i < 64; ++i) output_.insert(output_.end(), wire::Ack().begin(), wire::Ack().end());
    }
    record_.log.push_back({false, std::move(out)});
}

void Calculator::Violation(const std::string& text) {
    record_.violations.push_back("packet " + std::to_string(received_) + " from the updater: " + text);
}

void Calculator::Refuse(const std::string& text) {
    Violation(text);
    Send(wire::Reject());
}

void Calculator::Unexpected(const uint8_t* p, size_t n, const char* awaited) {
    Refuse(std::string("unexpected packet while waiting for ") + awaited + ": " + Describe(p, n));
}

}  // namespace zsim
