// SPDX-License-Identifier: GPL-3.0-or-later
// The calculator's framing and the test updater's packet builder, both held
// against bytes written out by hand from the protocol's worked examples.
#include <gtest/gtest.h>

#include "pc_side.h"
#include "sim/wire.h"

namespace {

using pcside::Bytes;
using pcside::Text;

Bytes Raw(std::initializer_list<uint8_t> b) { return Bytes(b); }

Bytes WithZero(Bytes b) {
    b.push_back(0);
    return b;
}

TEST(SimWire, FixedPacketsCarryTheChecksumOfTheirText) {
    for (const Bytes* p : {&zsim::wire::Ack(), &zsim::wire::Ack03(), &zsim::wire::Nak04(), &zsim::wire::Probe(),
                           &zsim::wire::IdentityRequest(), &zsim::wire::IdentityCommand55(),
                           &zsim::wire::IdentityCommand50(), &zsim::wire::AfterStubRequest(),
                           &zsim::wire::InfoRequest(), &zsim::wire::Terminate04(), &zsim::wire::Reject()}) {
        const auto sum = zsim::wire::Checksum(p->data() + 1, p->size() - 3);
        EXPECT_EQ(zsim::wire::ParseHex(p->data() + p->size() - 2, 2), sum);
    }
    EXPECT_EQ(zsim::wire::ShortPacket(0x06, 0x03), Text(0x06, "0306D"));
    EXPECT_EQ(zsim::wire::ShortPacket(0x01, 0x4F), Text(0x01, "4F056"));
}

TEST(SimWire, DataPacketsMatchTheWorkedExamples) {
    const Bytes block = Raw({0x02, '5', '6', '1', '0', '0', '0', 'D', '0', '0', '0', '2', '0', '0', '0', '1',
                             0x5C, 0x21, 0x41, 0x5C, 0x5C, '9', '7'});
    const Bytes payload = {0x01, 0x41, 0x5C};
    EXPECT_EQ(zsim::wire::DataPacket(0x56, 2, 1, payload.data(), payload.size()), block);
    EXPECT_EQ(pcside::DataPacket("56", 2, 1, payload), block);

    const Bytes stubBlock = Raw({0x02, 0x35, 0x36, 0x31, 0x30, 0x30, 0x30, 0x44, 0x30, 0x30, 0x30, 0x31,
                                 0x30, 0x30, 0x30, 0x31, 0x5C, 0x20, 0x5C, 0x5C, 0x41, 0x39, 0x39});
    EXPECT_EQ(pcside::DataPacket("56", 1, 1, {0x00, 0x5C, 0x41}), stubBlock);
    Bytes osBlock = Text(0x02, "571000D00410041");
    osBlock.insert(osBlock.end(), {0x5C, 0x20, 0x5C, 0x5C, 0x41, '9', '0'});
    EXPECT_EQ(pcside::DataPacket("57", 65, 65, {0x00, 0x5C, 0x41}), osBlock);

    const Bytes zeros(1024, 0);
    const Bytes big = zsim::wire::DataPacket(0x57, 1, 1, zeros.data(), zeros.size());
    EXPECT_EQ(big.size(), 2066u);
    EXPECT_EQ(std::string(big.begin() + 4, big.begin() + 8), "0808");
    EXPECT_EQ(zsim::wire::DataPacket(0x57, 1, 1, nullptr, 0).size(), 18u);
}

TEST(SimWire, CommandTemplatesMatchTheWorkedExamples) {
    EXPECT_EQ(pcside::Announce56(3), WithZero(Text(0x01, "5610018000000038803000088030000F2")));
    EXPECT_EQ(pcside::Announce56(3).size(), 35u);
    EXPECT_EQ(pcside::Announce57(65539), WithZero(Text(0x01, "571001000010003A00000008D")));
    EXPECT_EQ(pcside::Announce57(0).size(), 27u);
    EXPECT_EQ(pcside::TailCheck58(3, 0xFF63), WithZero(Text(0x01, "58100140000000" "3A0010000FF6393")));
    EXPECT_EQ(pcside::TailCheck58(0, 0).size(), 31u);
}

TEST(SimWire, HexReadersRejectLowerCaseAndWritersPadToWidth) {
    const uint8_t lower[] = {'0', '0', '1', 'c'};
    const uint8_t upper[] = {'0', '0', '1', 'C'};
    EXPECT_FALSE(zsim::wire::ParseHex(lower, 4));
    EXPECT_EQ(zsim::wire::ParseHex(upper, 4), 28u);
    uint8_t out[8];
    zsim::wire::WriteHex(65536, 8, out);
    EXPECT_EQ(std::string(out, out + 8), "00010000");
    zsim::wire::WriteHex(0x12345, 4, out);
    EXPECT_EQ(std::string(out, out + 4), "2345");
}

TEST(SimWire, UnescapingIsStrictAboutWhatTheUpdaterSends) {
    Bytes out;
    const uint8_t pairs[] = {0x5C, 0x5C, 0x5C, 0x20, 0x5C, 0x3F, 0x7F, 0x80, 0xFF, 0x20};
    ASSERT_EQ(zsim::wire::AppendUnescaped(pairs, sizeof pairs, out), zsim::wire::UnescapeError::None);
    EXPECT_EQ(out, Raw({0x5C, 0x00, 0x1F, 0x7F, 0x80, 0xFF, 0x20}));
    const uint8_t trailing[] = {0x41, 0x5C};
    EXPECT_EQ(zsim::wire::AppendUnescaped(trailing, 2, out), zsim::wire::UnescapeError::TrailingBackslash);
    const uint8_t bad[] = {0x5C, 0x41};   // 0x41 would mean 0x21, which is never escaped
    EXPECT_EQ(zsim::wire::AppendUnescaped(bad, 2, out), zsim::wire::UnescapeError::BadEscape);
}

}  // namespace
