// SPDX-License-Identifier: GPL-3.0-or-later
#include "pc_side.h"

namespace pcside {

Bytes Text(uint8_t type, const std::string& text) {
    Bytes b{type};
    b.insert(b.end(), text.begin(), text.end());
    return b;
}

Bytes Concat(const Bytes& a, const Bytes& b) {
    Bytes c = a;
    c.insert(c.end(), b.begin(), b.end());
    return c;
}

std::string Hex(uint32_t value, int digits) {
    std::string s(static_cast<size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) s[static_cast<size_t>(i)] = "0123456789ABCDEF"[value & 15];
    return s;
}

uint8_t Sum8(const Bytes& packet, size_t from, size_t to) {
    unsigned acc = 0;
    for (size_t i = from; i < to; ++i) acc -= packet[i];
    return static_cast<uint8_t>(acc);
}

namespace {
Bytes WithChecksumAndZero(Bytes b) {
    const std::string cs = Hex(Sum8(b, 1, b.size()), 2);
    b.insert(b.end(), cs.begin(), cs.end());
    b.push_back(0);
    return b;
}
}  // namespace

Bytes Announce56(uint32_t size) { return WithChecksumAndZero(Text(0x01, "5610018" + Hex(size, 8) + "8803000088030000")); }
Bytes Announce57(uint32_t size) { return WithChecksumAndZero(Text(0x01, "5710010" + Hex(size, 8) + "A0000000")); }
Bytes TailCheck58(uint32_t sizeField, uint16_t sum) {
    return WithChecksumAndZero(Text(0x01, "5810014" + Hex(sizeField, 8) + "A0010000" + Hex(sum, 4)));
}

Bytes DataPacket(const char* subtype, uint16_t total, uint16_t block, const Bytes& payload) {
    Bytes escaped;
    for (uint8_t b : payload) {
        if (b < 0x20) {
            escaped.push_back(0x5C);
            escaped.push_back(static_cast<uint8_t>(b + 0x20));
        } else if (b == 0x5C) {
            escaped.push_back(0x5C);
            escaped.push_back(0x5C);
        } else {
            escaped.push_back(b);
        }
    }
    Bytes p = Text(0x02, std::string(subtype) + "1" + Hex(static_cast<uint32_t>(escaped.size() + 8), 4) +
                             Hex(total, 4) + Hex(block, 4));
    p.insert(p.end(), escaped.begin(), escaped.end());
    const std::string cs = Hex(Sum8(p, 1, p.size()), 2);
    p.insert(p.end(), cs.begin(), cs.end());
    return p;
}

uint16_t TailSum(const Bytes& image) {
    unsigned sum = 0;
    for (size_t i = 0x10000; i < image.size(); ++i) sum -= image[i];
    return static_cast<uint16_t>(sum);
}

namespace {
uint32_t ParseHexText(const Bytes& p, size_t at, size_t digits, bool& ok) {
    uint32_t v = 0;
    for (size_t i = at; i < at + digits; ++i) {
        const uint8_t c = p[i];
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) ok = false;
        v = v * 16 + static_cast<uint32_t>(d < 0 ? 0 : d);
    }
    return v;
}
}  // namespace

Received ParseCalcDataPacket(const Bytes& packet) {
    Received r;
    if (packet.size() < 18) return r;
    bool ok = true;
    r.header.assign(packet.begin(), packet.begin() + 4);
    const uint32_t size = ParseHexText(packet, 4, 4, ok);
    r.total = ParseHexText(packet, 8, 4, ok);
    r.block = ParseHexText(packet, 12, 4, ok);
    if (!ok || size + 10 != packet.size()) return r;
    for (size_t i = 16; i < packet.size() - 2; ++i) {
        if (packet[i] == 0x5C) {
            const uint8_t d = packet[++i];
            r.payload.push_back(d == 0x5C ? 0x5C : static_cast<uint8_t>(d - 0x20));
        } else {
            r.payload.push_back(packet[i]);
        }
    }
    r.ok = Sum8(packet, 1, packet.size() - 2) == ParseHexText(packet, packet.size() - 2, 2, ok);
    return r;
}

Bytes Pattern(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(i * 31 + (i >> 9) + seed);
    return b;
}

void Handshake(Link& pc, const Script& s) {
    EXPECT_EQ(pc.Send(Check()), Ack());
    EXPECT_EQ(pc.Send(Probe()), s.blockSize == 1024 ? Ack() : Nak04());
    EXPECT_EQ(pc.Send(IdentityRequest()), s.osRoute ? Ack() : Nak04());
}

Seen ReadIdentity(Link& pc, bool osRoute) {
    Seen seen;
    if (!osRoute) {
        EXPECT_EQ(pc.Send(Cmd4F()), Ack());
    }
    EXPECT_EQ(pc.Send(RoleSwap()), osRoute ? Cmd55() : Cmd50());
    const std::string header = std::string("\x02") + (osRoute ? "551" : "501");
    for (int i = 0; i < 100000; ++i) {
        const Bytes reply = pc.Send(Ack());
        if (reply == RoleSwap()) break;
        const Received r = ParseCalcDataPacket(reply);
        EXPECT_TRUE(r.ok) << "identity packet " << i;
        EXPECT_EQ(r.header, header);
        EXPECT_EQ(r.block, static_cast<uint32_t>(i + 1));
        if (!r.ok || r.header != header) break;
        seen.identityPayloads.push_back(r.payload);
    }
    if (osRoute) seen.deviceInfo = pc.Send(InfoRequest());
    return seen;
}

namespace {
void SendBlocks(Link& pc, const char* subtype, const Bytes& image, int blockSize, bool stub) {
    const size_t bs = static_cast<size_t>(blockSize);
    const uint16_t total = static_cast<uint16_t>((image.size() + bs - 1) / bs);
    for (uint16_t k = 1; k <= total; ++k) {
        const size_t from = (k - 1) * bs;
        const Bytes payload(image.begin() + static_cast<long>(from),
                            image.begin() + static_cast<long>(std::min(image.size(), from + bs)));
        const Bytes reply = pc.Send(DataPacket(subtype, total, k, payload));
        const Bytes expected = stub && k == total ? Concat(Ack03(), Ack()) : Ack();
        ASSERT_EQ(reply, expected) << "block " << k;
    }
}
}  // namespace

void SendStub(Link& pc, const Script& s) {
    const Bytes reply = pc.Send(Announce56(static_cast<uint32_t>(s.stub.size())));
    EXPECT_EQ(reply, s.stub.empty() ? Concat(Ack(), Ack()) : Ack());
    SendBlocks(pc, "56", s.stub, s.blockSize, true);
}

void SendOsImage(Link& pc, const Script& s, bool expectAccept) {
    for (int attempt = 0; attempt <= s.tailRejections; ++attempt) {
        EXPECT_EQ(pc.Send(Announce57(static_cast<uint32_t>(s.os.size()))), Ack());
        SendBlocks(pc, "57", s.os, s.blockSize, false);
        if (s.blockSize != 1024) return;
        const Bytes reply = pc.Send(TailCheck58(static_cast<uint32_t>(s.os.size()) - 0x10000u, TailSum(s.os)));
        const bool accepted = reply == Ack();
        EXPECT_EQ(accepted, expectAccept && attempt == s.tailRejections) << "attempt " << attempt;
        if (accepted) return;
        EXPECT_EQ(reply, Text(0x15, "00070"));
    }
}

Seen RunHonestUpdate(Link& pc, const Script& s) {
    Handshake(pc, s);
    Seen seen;
    if (s.osRoute) {
        seen = ReadIdentity(pc, true);
        SendStub(pc, s);
    } else {
        SendStub(pc, s);
        seen = ReadIdentity(pc, false);
    }
    SendOsImage(pc, s);
    EXPECT_EQ(pc.Send(Terminate()), Ack());
    return seen;
}

}  // namespace pcside
