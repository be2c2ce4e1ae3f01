// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/image_transfer.h"

#include <algorithm>
#include <cstring>

#include "i18n/message.h"
#include "i18n/text_format.h"

namespace {

constexpr const char* kStubPhaseText = N_("Sending data...");
constexpr uint16_t kFirstSummedBlock = 65;   // blocks from 64 KiB on
constexpr int kOsAttempts = 3;

// The sum of `length` bytes, eight at a time: two per 16-bit lane, which
// holds the 2 * 255 of one step with room for 128 steps.
uint32_t ByteSumOf(const uint8_t* bytes, uint16_t length)
{
    constexpr uint64_t lanes = 0x00FF00FF00FF00FFull;
    uint32_t sum = 0;
    uint32_t i = 0;
    while (i + 8 <= length) {
        uint64_t pairs = 0;
        for (uint32_t steps = 0; steps < 128 && i + 8 <= length; ++steps, i += 8) {
            uint64_t w;
            std::memcpy(&w, bytes + i, 8);
            pairs += (w & lanes) + ((w >> 8) & lanes);
        }
        for (int lane = 0; lane < 4; ++lane) {
            sum += static_cast<uint32_t>((pairs >> (16 * lane)) & 0xFFFF);
        }
    }
    for (; i < length; ++i) {
        sum += bytes[i];
    }
    return sum;
}

// Reads block `blockNumber` (the next `remaining` bytes, a block's worth at
// most) from the scratch copy and makes it into the run's packet; in the
// OS-image phase takes the bytes of blocks 65 and above off `imageSum`. The
// packet's length, or 0 when the block cannot be read whole.
uint32_t PrepareBlock(CUpdateRun& run, ImageSnapshot& image, ImagePhase phase, uint16_t blockNumber,
                      uint64_t& remaining, uint32_t& imageSum)
{
    const auto length = static_cast<uint16_t>(std::min<uint64_t>(remaining, run.m_blockSize));
    if (!image.copy.ReadExactly(run.m_block, length)) {
        return 0;
    }
    remaining -= length;
    if (phase == ImagePhase::OsImage && blockNumber >= kFirstSummedBlock) {
        imageSum -= ByteSumOf(run.m_block, length);
    }
    return BuildDataPacket(run.m_packet, blockNumber, run.m_block, length);
}

// Rewinds the phase's snapshot, measures it in blocks and announces it;
// false when the calculator does not take the announcement.
bool Announce(CUpdateRun& run, ImagePhase phase, ImageSnapshot& image, int32_t& blockCount)
{
    const bool stub = phase == ImagePhase::UpdaterStub;
    run.SetStep(stub ? N_("the updater stub's announcement") : N_("the OS image's announcement"));
    const int64_t blocks = BlockCount(image.size, run.m_blockSize);
    if (blocks > kMaxBlockCount || !image.copy.Seek(0)) {
        return run.Fail(Message(N_("the image cannot be sent from its scratch copy")), ReasonCode::ImagesUnusable);   // checked after the probe
    }
    blockCount = static_cast<int32_t>(blocks);
    const auto size = static_cast<uint32_t>(image.size);
    const uint32_t n = stub ? FillCmd56(run.m_packet, size) : FillCmd57(run.m_packet, size);
    return run.SendBytes(run.m_packet, n) && run.Expect(PKT_ACK);
}

// Sends the OS image once: announcement, blocks, and with 1024-byte blocks
// the tail check. `accepted` tells whether the tail check was taken.
bool SendOsImageAttempt(CUpdateRun& run, bool& accepted)
{
    run.ResetProgress();
    ImageSnapshot& image = run.m_images.os;
    int32_t blockCount = 0;
    if (!Announce(run, ImagePhase::OsImage, image, blockCount)) {
        return false;
    }
    run.SetProgressRange(blockCount);
    uint32_t imageSum = 0;
    run.SetStep(N_("the OS image"));
    if (!SendImageBlocks(run, image, blockCount, ImagePhase::OsImage, imageSum)) {
        return false;
    }
    if (run.m_blockSize == 256) {
        accepted = true;   // no tail check with small blocks
        return true;
    }
    run.SetStep(N_("the tail check"));
    const uint32_t m = FillCmd58(run.m_packet, static_cast<uint32_t>(image.size), static_cast<uint16_t>(imageSum));
    if (!run.SendBytes(run.m_packet, m) || !run.ReadShortReply()) {
        return false;
    }
    accepted = run.ReplyIs(PKT_ACK);
    return true;
}

}  // namespace

bool SendImageBlocks(CUpdateRun& run, ImageSnapshot& image, int32_t blockCount, ImagePhase phase,
                     uint32_t& imageSum)
{
    // Each block is read and made into its packet once the calculator has
    // taken the one before it. Made between the write and the reply
    // instead, it delays the write's way through the line (measured on a
    // pty: a quarter fewer blocks a second).
    const uint8_t* dataTemplate = phase == ImagePhase::UpdaterStub ? TPL_DATA_56.bytes() : TPL_DATA_57.bytes();
    PrepareDataSeries(run.m_packet, dataTemplate, static_cast<uint16_t>(blockCount));
    uint64_t remaining = image.size;
    for (int32_t k = 1; k <= blockCount; ++k) {
        run.SetBlock(k, blockCount);
        run.StepProgress();
        const uint32_t length = PrepareBlock(run, image, phase, static_cast<uint16_t>(k), remaining, imageSum);
        if (length == 0) {
            return run.Fail(Message(N_("the scratch copy of the image cannot be read")), ReasonCode::ImagesUnusable);   // never send a short block
        }
        if (!run.SendAfterReply(run.m_packet, length)) {
            return false;
        }
        const bool lastStubBlock = phase == ImagePhase::UpdaterStub && k == blockCount;
        if (!run.Expect(lastStubBlock ? PKT_ACK_03 : PKT_ACK)) {
            return false;
        }
    }
    run.SetBlock(0, 0);
    return true;
}

bool SendUpdaterStub(CUpdateRun& run)
{
    ImageSnapshot& image = run.m_images.stub;
    int32_t blockCount = 0;
    if (!Announce(run, ImagePhase::UpdaterStub, image, blockCount)) {
        return false;
    }
    run.m_stubBlockCount = blockCount;
    run.WritingCalculator();
    run.OpenProgress(kStubPhaseText, blockCount);
    uint32_t unusedSum = 0;
    run.SetStep(N_("the updater stub"));
    if (!SendImageBlocks(run, image, blockCount, ImagePhase::UpdaterStub, unusedSum)) {
        return false;
    }
    run.CloseProgress();
    run.SetStep(N_("the updater stub's start"));
    return run.Expect(PKT_ACK);
}

bool WriteOsImage(CUpdateRun& run)
{
    run.WritingCalculator();
    // The bar opens at 0 of the OS image's own blocks (the sizes fit: checked after the probe).
    run.OpenProgress(kOsPhaseText, static_cast<int>(BlockCount(run.m_images.os.size, run.m_blockSize)));
    for (int attempt = 0; attempt < kOsAttempts; ++attempt) {
        bool accepted = false;
        if (!SendOsImageAttempt(run, accepted)) {
            return false;
        }
        if (accepted) {
            return true;
        }
    }
    // The image did not arrive whole.
    return run.Fail(Message(N_("the calculator rejected the check of the OS image three times; start the update again")),
                    ReasonCode::ImageRejected);
}
