// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/update_run.h"

#include <cstring>
#include <utility>

#include "i18n/message.h"
#include "i18n/text_format.h"

namespace {

// The fixed packets a reply is compared with, by the names the trace and
// the documentation use.
Message PacketName(const StoredPacket& packet)
{
    static constexpr std::pair<const StoredPacket*, const char*> kNames[] = {
        {&PKT_ACK, "Ack"},           {&PKT_ACK_03, "Ack 03"},    {&PKT_NAK_04, "Nak 04"},
        {&PKT_ROLESWAP, "RoleSwap"}, {&PKT_CMD_55, "command 55"}, {&PKT_CMD_50, "command 50"},
    };
    for (const auto& [known, name] : kNames) {
        if (known == &packet) {
            return Message::Raw(name);
        }
    }
    return Message(N_("another packet"));
}

// Reply bytes as text: printable characters as they are, the rest as <XX>.
std::string ShowBytes(const uint8_t* bytes, uint32_t length)
{
    constexpr uint32_t kShown = 24;
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (uint32_t i = 0; i < length && i < kShown; ++i) {
        const uint8_t b = bytes[i];
        if (b >= 0x20 && b < 0x7F) {
            text += static_cast<char>(b);
        } else {
            text += {'<', kHex[b >> 4], kHex[b & 15], '>'};
        }
    }
    if (length > kShown) {
        text += "...";
    }
    return text;
}

constexpr uint32_t kShownStrayBytes = 24;

Message Seconds(uint32_t ms)
{
    return SecondsText((ms + 500) / 1000);
}

}  // namespace

CUpdateRun::CUpdateRun(const UpdateRunInputs& inputs, std::unique_ptr<CUsbChannel> channel)
    : m_inputs(inputs), m_channel(std::move(channel))
{
    m_channel->SetWaiter(this);
}

CUpdateRun::~CUpdateRun()
{
    CloseProgress();
    if (m_writing) {
        m_inputs.writeGuard->EndWriting();
    }
}

void CUpdateRun::DoneWriting()
{
    if (m_writing) {
        m_writing = false;
        m_inputs.writeGuard->EndWriting();
    }
}

void CUpdateRun::WritingCalculator()
{
    if (m_writing || m_inputs.writeGuard == nullptr) {
        return;
    }
    m_writing = true;
    const std::string note = m_inputs.writeGuard->BeginWriting();
    if (!note.empty() && m_channel) {
        m_channel->TraceNote(note.c_str());
    }
}

bool CUpdateRun::Fail(const Message& what, ReasonCode code)
{
    if (m_reason.Empty()) {
        m_code = code;
        const Message step(m_step);
        m_reason = m_blockNumber > 0 ? Message(N_("%s, block %d of %d: %s"),
                                               {step, std::to_string(m_blockNumber), std::to_string(m_blockCount),
                                                what})
                                     : Message(N_("%s: %s"), {step, what});
    }
    return false;
}

bool CUpdateRun::SendBytes(const uint8_t* bytes, uint32_t length)
{
    // Before the first packet nothing has been asked: what the line held
    // then is the first reply's to reject.
    return m_sentAny && m_channel->InputWaiting() ? OutOfStep() : Put(bytes, length);
}

bool CUpdateRun::SendAfterReply(const uint8_t* bytes, uint32_t length)
{
    return m_sentAny && m_channel->InputWaitingAfterReply() ? OutOfStep() : Put(bytes, length);
}

bool CUpdateRun::Put(const uint8_t* bytes, uint32_t length)
{
    m_sentAny = true;
    const int status = m_channel->Write(bytes, length);
    return status == ChannelOk || ChannelFailed(status);
}

void CUpdateRun::Abandon()
{
    m_abandoning = true;
    m_channel->Write(PKT_TERMINATE_04.bytes(), PKT_TERMINATE_04.length);   // its status is ignored
    m_abandoning = false;
}

bool CUpdateRun::OutOfStep()
{
    uint8_t stray[kShownStrayBytes] = {};
    const uint32_t n = m_channel->TakeWaiting(stray, sizeof stray);
    return Fail(Message(N_("the calculator sent \"%s\" that answers nothing the program asked; the "
                           "conversation is out of step, so the update was stopped"),
                        {ShowBytes(stray, n)}),
                ReasonCode::OutOfStep);
}

bool CUpdateRun::Expect(const StoredPacket& packet)
{
    return ReadReply(packet.length) && (ReplyIs(packet) || Unexpected(packet.length, PacketName(packet)));
}

bool CUpdateRun::ReadReply(uint32_t length)
{
    uint32_t count = 0;
    const int status = m_channel->Read(m_reply, length, count);
    return status == ChannelOk || ChannelFailed(status);
}

AckOrNak CUpdateRun::ReadAckOrNak()
{
    if (!ReadShortReply()) {
        return AckOrNak::Other;
    }
    if (ReplyIs(PKT_ACK)) {
        return AckOrNak::Ack;
    }
    if (ReplyIs(PKT_NAK_04)) {
        return AckOrNak::Nak;
    }
    Unexpected(PKT_ACK.length, Message(N_("Ack or Nak 04")));
    return AckOrNak::Other;
}

bool CUpdateRun::ReplyIs(const StoredPacket& packet) const
{
    return std::memcmp(m_reply, packet.bytes(), packet.length) == 0;
}

bool CUpdateRun::Unexpected(uint32_t length, const Message& expected)
{
    return Fail(Message(N_("the calculator answered \"%s\" where %s was expected"),
                        {ShowBytes(m_reply, length), expected}),
                ReasonCode::OutOfStep);
}

bool CUpdateRun::ReceiveFailed(const Message& what)
{
    if (m_channel->LastError() != 0) {
        return ChannelFailed(IoError);
    }
    return m_stopReason.Empty() ? Fail(what) : ChannelFailed(PumpStopped);
}

void CUpdateRun::OpenProgress(const char* phaseText, int stepCount)
{
    m_inputs.port->OpenProgress(phaseText, stepCount);
    m_progressOpen = true;
}

void CUpdateRun::CloseProgress()
{
    if (m_progressOpen) {
        m_inputs.port->CloseProgress();
        m_progressOpen = false;
    }
}

bool CUpdateRun::ChannelFailed(int status)
{
    switch (status) {
    case IoError:
        return Fail(Message(N_("the link to the calculator was lost (%s); check the cable, then start the "
                               "update again"),
                            {std::string(std::strerror(static_cast<int>(m_channel->LastError())))}),
                    ReasonCode::LinkLost);
    case PumpStopped:
        return m_stopReason.Empty() ? Fail(Message(N_("stopped")), ReasonCode::Stopped) : Fail(m_stopReason, m_stopCode);
    case TimedOut:
        return Fail(Message(N_("the calculator did not answer in time")), ReasonCode::NotAnswering);
    default:
        return Fail(Message(N_("channel status %d"), {std::to_string(status)}));
    }
}

bool CUpdateRun::KeepWaiting(const ChannelWait& channelWait)
{
    const ReplyWaitPolicy& policy = m_inputs.wait;
    const uint32_t waited = channelWait.waitedMs;
    const ReplyWait wait{waited, waited >= policy.userMayEndAfterMs};
    if (m_abandoning) {
        // The host is served, but neither the user nor a limit may cut the
        // last packet short; the calculator gets a short while for it.
        m_inputs.port->KeepWaiting(wait);
        return waited <= (m_userEnded ? policy.afterUserEndedMs : policy.finalReplyMs);
    }
    if (policy.silenceLimitMs != 0 && waited > policy.silenceLimitMs) {
        m_stopCode = channelWait.writing ? ReasonCode::Stalled : ReasonCode::NotAnswering;
        if (!policy.silenceLimitSource.Empty()) {
            m_stopReason = Message(channelWait.writing ? N_("the calculator stopped taking data for %s (%s)")
                                                       : N_("the calculator did not answer for %s (%s)"),
                                   {Seconds(waited), policy.silenceLimitSource});
            return false;
        }
        m_stopReason = Message(channelWait.writing
                                      ? N_("the calculator stopped taking data for %s (the limit set by "
                                           "ZENTRIX_REPLY_TIMEOUT)")
                                      : N_("the calculator did not answer for %s (the limit set by "
                                           "ZENTRIX_REPLY_TIMEOUT)"),
                                  {Seconds(waited)});
        return false;
    }
    if (m_inputs.port->KeepWaiting(wait)) {
        return true;
    }
    // Who asked (the user, or a signal) is the host's to say; the run says
    // where it stood.
    m_userEnded = wait.endable;
    m_stopCode = ReasonCode::Stopped;
    if (!wait.endable) {
        m_stopReason = Message(N_("stopped on request"));
    } else if (channelWait.writing) {
        m_stopReason = Message(N_("stopped after the calculator had taken no data for %s; check the cable and "
                                     "that the calculator is in receive mode, then start the update again"),
                                  {Seconds(waited)});
    } else {
        m_stopReason = Message(N_("stopped while the calculator had not answered for %s; check the cable and "
                                     "that the calculator is in receive mode, then start the update again"),
                                  {Seconds(waited)});
    }
    return false;
}
