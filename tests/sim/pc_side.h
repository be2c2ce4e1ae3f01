// SPDX-License-Identifier: GPL-3.0-or-later
// A hand-written updater side for driving the simulated calculator in tests.
// It builds its packets on its own (checked against literal bytes in
// wire_test.cpp), so the simulator's framing code is never judged by itself.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/calculator.h"

namespace pcside {

using Bytes = std::vector<uint8_t>;

Bytes Text(uint8_t type, const std::string& text);
Bytes Concat(const Bytes& a, const Bytes& b);
std::string Hex(uint32_t value, int digits);
uint8_t Sum8(const Bytes& packet, size_t from, size_t to);   // 0 - sum of packet[from, to)

// Fixed packets, literally.
inline Bytes Check() { return Text(0x05, "00070"); }
inline Bytes Ack() { return Text(0x06, "00070"); }
inline Bytes Ack03() { return Text(0x06, "0306D"); }
inline Bytes Nak04() { return Text(0x15, "0406C"); }
inline Bytes Probe() { return Text(0x01, "07069"); }
inline Bytes IdentityRequest() { return Text(0x01, "541001C008000010000000000000400fls090"); }
inline Bytes RoleSwap() { return Text(0x03, "00070"); }
inline Bytes Cmd55() { return Text(0x01, "551001800800001000000000000000013"); }
inline Bytes Cmd50() { return Text(0x01, "501001C008000010000000000000400fls094"); }
inline Bytes Cmd4F() { return Text(0x01, "4F056"); }
inline Bytes InfoRequest() { return Text(0x01, "0106F"); }
inline Bytes Terminate() { return Text(0x18, "00070"); }
inline Bytes Terminate04() { return Text(0x18, "0406C"); }

// Filled command templates, with their zero byte.
Bytes Announce56(uint32_t size);
Bytes Announce57(uint32_t size);
Bytes TailCheck58(uint32_t sizeField, uint16_t sum);
// A data packet of the updater.
Bytes DataPacket(const char* subtype, uint16_t total, uint16_t block, const Bytes& payload);
// The tail-check sum of an OS image: low 16 bits of 0 - the bytes from 0x10000 on.
uint16_t TailSum(const Bytes& image);

// A calculator data packet taken apart.
struct Received {
    bool ok = false;
    std::string header;   // type as \x02 and subtype/flag, e.g. "\x02" "551"
    uint32_t total = 0;
    uint32_t block = 0;
    Bytes payload;
};
Received ParseCalcDataPacket(const Bytes& packet);

Bytes Pattern(size_t size, uint8_t seed);

// Where the updater's packets go: Send writes one packet and returns the
// calculator's answer to it.
struct Link {
    virtual ~Link() = default;
    virtual Bytes Send(const Bytes& packet) = 0;
};

// One updater talking to an in-process calculator.
struct Pc : Link {
    explicit Pc(zsim::Options options = {}) : calc(std::move(options)) {}
    Bytes Send(const Bytes& packet) override {
        calc.Receive(packet);
        return calc.TakeOutput();
    }
    zsim::Calculator calc;
};

struct Script {
    Bytes stub;
    Bytes os;
    int blockSize = 1024;
    bool osRoute = true;
    int tailRejections = 0;   // how many rejections the updater expects before the Ack
};

// What the updater learnt from the calculator on the way.
struct Seen {
    std::vector<Bytes> identityPayloads;
    Bytes deviceInfo;
};

// Drives a whole, well-behaved update; every reply is checked with gtest
// expectations. Ends with Terminate.
Seen RunHonestUpdate(Link& pc, const Script& script);
// The pieces, for tests that stop or deviate part-way.
void Handshake(Link& pc, const Script& script);
Seen ReadIdentity(Link& pc, bool osRoute);
void SendStub(Link& pc, const Script& script);
void SendOsImage(Link& pc, const Script& script, bool expectAccept = true);

}  // namespace pcside
