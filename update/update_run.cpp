#include "update/update_run.h"

#include <cstring>

bool CUpdateRun::Expect(const StoredPacket& packet)
{
    uint32_t count = 0;
    return m_channel.Read(m_reply, packet.length, count) == ChannelOk && ReplyIs(packet);
}

bool CUpdateRun::ReadShortReply()
{
    uint32_t count = 0;
    return m_channel.Read(m_reply, PKT_ACK.length, count) == ChannelOk;
}

AckOrNak CUpdateRun::ReadAckOrNak()
{
    if (!ReadShortReply()) {
        return AckOrNak::Other;
    }
    if (ReplyIs(PKT_ACK)) {
        return AckOrNak::Ack;
    }
    return ReplyIs(PKT_NAK_04) ? AckOrNak::Nak : AckOrNak::Other;
}

bool CUpdateRun::ReplyIs(const StoredPacket& packet) const
{
    return std::memcmp(m_reply, packet.bytes(), packet.length) == 0;
}
