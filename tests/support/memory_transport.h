// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A calculator in memory, under a real CUsbChannel: the test scripts the
// replies (one released by every write, as a calculator answers a packet)
// or puts a peer behind the link, and chooses how the link behaves — how
// many bytes one read delivers, reads or writes that stall, a link that is
// lost. The channel above it is the one every run uses.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/transport.h"
#include "device/usb_channel.h"

// What the test and the transport share; the test keeps it after the
// channel has taken the transport.
struct MemoryLink {
    std::vector<std::vector<uint8_t>> writes;   // the bytes of every write, in order
    std::deque<std::vector<uint8_t>> script;    // replies; every write releases the next
    std::deque<uint8_t> toHost;                 // released, not yet read

    uint32_t packetSize = 64;    // most bytes one read delivers
    int stalledReads = 0;        // reads that deliver nothing first (-1: all)
    int stalledWrites = 0;       // writes the calculator does not take first (-1: all)
    uint32_t lostError = 0;      // nonzero: every read and write fails with this errno
    bool lostWhenDry = true;     // a read with nothing released fails (EIO) instead of waiting

    // When set, answers every write instead of the script: appends the
    // calculator's bytes to `toHost`.
    std::function<void(const uint8_t* data, uint32_t length, std::deque<uint8_t>& toHost)> peer;
    // When set, called before every read that finds bytes: may change them,
    // or return an errno to fail the read.
    std::function<uint32_t(std::deque<uint8_t>& toHost)> beforeRead;

    // Scripts `reply` for the next `times` writes.
    void Answer(const std::string& reply, int times = 1);
    std::string Written(size_t i) const;
};

class CMemoryTransport : public CTransport {
public:
    explicit CMemoryTransport(std::shared_ptr<MemoryLink> link) : m_link(std::move(link)) {}
    TransportWrite WriteSome(const uint8_t* data, uint32_t length, int waitMs) override;
    TransportRead ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs) override;
    bool InputWaiting() override;

private:
    std::shared_ptr<MemoryLink> m_link;
};

// A channel whose every Open reaches `link`. The channel settles for no
// time after closing.
std::unique_ptr<CUsbChannel> MemoryChannel(std::shared_ptr<MemoryLink> link);
