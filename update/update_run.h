// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The state of one update run and the exchanges every phase of it uses.
#include <cstdint>
#include <memory>
#include <string>

#include "device/usb_channel.h"
#include "i18n/message.h"
#include "protocol/catalogue.h"
#include "protocol/codec.h"
#include "update/image_files.h"
#include "update/run_values.h"

// The calculator's answer where it may accept or refuse.
enum class AckOrNak { Ack, Nak, Other };

class CUpdateRun : private IChannelWaiter {
public:
    // The run owns `channel` until DestroyChannel; `inputs` outlive the run.
    CUpdateRun(const UpdateRunInputs& inputs, std::unique_ptr<CUsbChannel> channel);
    ~CUpdateRun() override;
    CUpdateRun(const CUpdateRun&) = delete;
    CUpdateRun& operator=(const CUpdateRun&) = delete;

    // What the run is doing, for the reason of a failure ("the block-size
    // probe"). A static text: setting it costs nothing.
    void SetStep(const char* step) { m_step = step; }
    // The block being sent, for the reason of a failure; 0 outside the uploads.
    void SetBlock(int32_t block, int32_t blockCount)
    {
        m_blockNumber = block;
        m_blockCount = blockCount;
    }
    // Records why the run gives up (the first reason is kept, as it is the
    // cause); returns false so that a failing step can `return run.Fail(...)`.
    bool Fail(const Message& what, ReasonCode code = ReasonCode::Other);
    const Message& Reason() const { return m_reason; }
    // The first failure's code, as its reason is the first failure's.
    ReasonCode Code() const { return m_code; }

    // Writes a fixed packet with its own length.
    bool Send(const StoredPacket& packet) { return SendBytes(packet.bytes(), packet.length); }
    // Writes a packet once every earlier reply has been taken: bytes from
    // the calculator that nothing asked for mean the conversation is out of
    // step, and nothing more is sent (the run ends through the abandon path).
    bool SendBytes(const uint8_t* bytes, uint32_t length);
    // As SendBytes, for a data block sent straight after the previous
    // packet's reply was read: when that read took all the device held,
    // the device is not asked again (see CUsbChannel::InputWaitingAfterReply).
    bool SendAfterReply(const uint8_t* bytes, uint32_t length);
    // The abandon path's PKT_TERMINATE_04: sent whatever is waiting, and
    // given a short while at most, however the calculator takes it.
    void Abandon();
    // Records the bytes that came from the calculator unasked (the
    // conversation is out of step); returns false.
    bool OutOfStep();
    // Reads as many bytes as `packet` has and compares all of them.
    bool Expect(const StoredPacket& packet);
    // Reads `length` bytes into the reply buffer; false when the read fails.
    bool ReadReply(uint32_t length);
    bool ReadShortReply() { return ReadReply(PKT_ACK.length); }
    // Reads one 6-byte reply and tells PKT_ACK from PKT_NAK_04 from the rest
    // (a failed read counts as Other, its reason recorded).
    AckOrNak ReadAckOrNak();
    bool ReplyIs(const StoredPacket& packet) const;
    // Records that the reply in the buffer (`length` bytes) is not what the
    // step expected; returns false.
    bool Unexpected(uint32_t length, const Message& expected);
    // Records why a data packet read through the channel was not received:
    // the link, a stopped wait, or else `what`; returns false.
    bool ReceiveFailed(const Message& what);

    // The run starts writing its calculator: the computer is kept awake
    // until the run ends (once per run, however often it is said).
    void WritingCalculator();
    // The run writes its calculator no more: the computer may sleep again.
    void DoneWriting();
    void OpenProgress(const char* phaseText, int stepCount);
    void CloseProgress();
    void StepProgress() { m_inputs.port->StepProgress(); }
    void ResetProgress() { m_inputs.port->SetProgressPos(0); }
    void SetProgressRange(int32_t top) { m_inputs.port->SetProgressRange(top); }
    bool ProgressOpen() const { return m_progressOpen; }

    CUsbChannel& Channel() { return *m_channel; }
    // Release step: the channel object goes (closed first if still open).
    void DestroyChannel() { m_channel.reset(); }

    const UpdateRunInputs& Inputs() const { return m_inputs; }

    ImageSnapshots m_images;
    uint32_t m_blockSize = 1024;
    int m_routeFlag = 0;
    int32_t m_stubBlockCount = 0;
    UpdateFacts m_facts;   // what the run learned, for its outcome

    uint8_t m_reply[kReplyBufferSize] = {};
    uint8_t m_packet[kPacketBufferSize] = {};
    uint8_t m_block[kBlockBufferSize] = {};

private:
    bool KeepWaiting(const ChannelWait& wait) override;
    // Records why a channel operation failed.
    bool ChannelFailed(int status);
    // Writes a packet after the out-of-step check.
    bool Put(const uint8_t* bytes, uint32_t length);

    const UpdateRunInputs& m_inputs;
    std::unique_ptr<CUsbChannel> m_channel;
    bool m_progressOpen = false;
    bool m_writing = false;     // the write guard was told the run writes
    const char* m_step = "the start";
    int32_t m_blockNumber = 0;
    int32_t m_blockCount = 0;
    Message m_reason;
    ReasonCode m_code = ReasonCode::None;
    ReasonCode m_stopCode = ReasonCode::Stopped;   // of m_stopReason
    Message m_stopReason;   // why the waiter ended a wait
    bool m_sentAny = false;     // the first packet has been written
    bool m_abandoning = false;  // the abandon path's write is under way
    bool m_userEnded = false;   // the user ended a wait on a silent calculator
};
