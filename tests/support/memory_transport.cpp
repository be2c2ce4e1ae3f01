// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory_transport.h"

#include <algorithm>
#include <cerrno>

namespace {

// Counts down a stall; true while it lasts (-1 lasts for ever).
bool Stalled(int& stall)
{
    if (stall == 0) {
        return false;
    }
    if (stall > 0) {
        --stall;
    }
    return true;
}

}  // namespace

void MemoryLink::Answer(const std::string& reply, int times)
{
    for (int i = 0; i < times; ++i) {
        script.emplace_back(reply.begin(), reply.end());
    }
}

std::string MemoryLink::Written(size_t i) const
{
    const std::vector<uint8_t>& bytes = writes.at(i);
    return {bytes.begin(), bytes.end()};
}

TransportWrite CMemoryTransport::WriteSome(const uint8_t* data, uint32_t length, int)
{
    MemoryLink& link = *m_link;
    if (link.lostError != 0) {
        return {TransportWrite::Failed, 0, link.lostError};
    }
    if (Stalled(link.stalledWrites)) {
        return {};
    }
    link.writes.emplace_back(data, data + length);
    if (link.peer) {
        link.peer(data, length, link.toHost);
    } else if (!link.script.empty()) {
        link.toHost.insert(link.toHost.end(), link.script.front().begin(), link.script.front().end());
        link.script.pop_front();
    }
    return {TransportWrite::Sent, length, 0};
}

TransportRead CMemoryTransport::ReadSome(uint8_t* buffer, uint32_t capacity, int)
{
    MemoryLink& link = *m_link;
    if (link.lostError != 0) {
        return {TransportRead::Failed, 0, link.lostError};
    }
    if (Stalled(link.stalledReads)) {
        return {};
    }
    if (link.toHost.empty()) {
        // Nothing more will come unless something is written first.
        return link.lostWhenDry ? TransportRead{TransportRead::Failed, 0, EIO} : TransportRead{};
    }
    if (link.beforeRead) {
        if (const uint32_t error = link.beforeRead(link.toHost); error != 0) {
            return {TransportRead::Failed, 0, error};
        }
    }
    const auto count = static_cast<uint32_t>(
        std::min<size_t>({link.toHost.size(), capacity, static_cast<size_t>(link.packetSize)}));
    std::copy_n(link.toHost.begin(), count, buffer);
    link.toHost.erase(link.toHost.begin(), link.toHost.begin() + count);
    return {TransportRead::Received, count, 0};
}

bool CMemoryTransport::InputWaiting()
{
    return !m_link->toHost.empty();
}

std::unique_ptr<CUsbChannel> MemoryChannel(std::shared_ptr<MemoryLink> link)
{
    auto channel = std::make_unique<CUsbChannel>(
        [link](const char*, OpenFailure&) -> std::unique_ptr<CTransport> {
            return std::make_unique<CMemoryTransport>(link);
        });
    channel->m_closePauseMs = 0;
    return channel;
}
