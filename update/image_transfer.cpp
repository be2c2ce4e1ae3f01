#include "update/image_transfer.h"

#include <algorithm>

namespace {

constexpr const char* kStubPhaseText = "Sending data...";
constexpr const char* kOsPhaseText = "Updating...";
constexpr uint16_t kFirstSummedBlock = 65;   // blocks from 64 KiB on
constexpr int kOsAttempts = 3;

// Makes a scratch copy of an image and measures it in blocks; false when the
// file cannot be copied or is too large to number its blocks.
bool OpenImage(const char* fileName, uint32_t blockSize, CScratchCopy& copy, uint64_t& size,
               int32_t& blockCount)
{
    if (!copy.Make(fileName) || !copy.QuerySize(size)) {
        return false;
    }
    const int64_t blocks = BlockCount(size, blockSize);
    if (blocks > kMaxBlockCount) {
        return false;
    }
    blockCount = static_cast<int32_t>(blocks);
    return true;
}

// Sends the OS image once: announcement, blocks, and with 1024-byte blocks
// the tail check. `accepted` tells whether the tail check was taken.
bool SendOsImageAttempt(CUpdateRun& run, bool& accepted)
{
    run.ResetProgress();
    CScratchCopy copy;
    uint64_t size = 0;
    int32_t blockCount = 0;
    if (!OpenImage(kOsImageFileName, run.m_blockSize, copy, size, blockCount)) {
        return false;
    }
    const uint32_t n = FillCmd57(run.m_packet, static_cast<uint32_t>(size));
    if (!run.SendBytes(run.m_packet, n) || !run.Expect(PKT_ACK)) {
        return false;
    }
    run.SetProgressRange(blockCount);
    uint32_t imageSum = 0;
    if (!SendImageBlocks(run, copy, size, blockCount, ImagePhase::OsImage, imageSum)) {
        return false;
    }
    copy.Discard();

    if (run.m_blockSize == 256) {
        accepted = true;   // no tail check with small blocks
        return true;
    }
    const uint32_t m = FillCmd58(run.m_packet, static_cast<uint32_t>(size), static_cast<uint16_t>(imageSum));
    if (!run.SendBytes(run.m_packet, m) || !run.ReadShortReply()) {
        return false;
    }
    accepted = run.ReplyIs(PKT_ACK);
    return true;
}

}  // namespace

bool SendImageBlocks(CUpdateRun& run, CScratchCopy& copy, uint64_t size, int32_t blockCount,
                     ImagePhase phase, uint32_t& imageSum)
{
    const uint8_t* dataTemplate = phase == ImagePhase::UpdaterStub ? TPL_DATA_56.bytes() : TPL_DATA_57.bytes();
    PrepareDataSeries(run.m_packet, dataTemplate, static_cast<uint16_t>(blockCount));
    uint64_t remaining = size;
    for (int32_t k = 1; k <= blockCount; ++k) {
        const auto blockNumber = static_cast<uint16_t>(k);
        run.StepProgress();
        const auto length = static_cast<uint16_t>(std::min<uint64_t>(remaining, run.m_blockSize));
        if (!copy.ReadExactly(run.m_block, length)) {
            return false;   // the copy changed under us: never send a short block
        }
        remaining -= length;
        if (phase == ImagePhase::OsImage && blockNumber >= kFirstSummedBlock) {
            for (uint16_t i = 0; i < length; ++i) {
                imageSum -= run.m_block[i];
            }
        }
        const uint32_t n = BuildDataPacket(run.m_packet, blockNumber, run.m_block, length);
        if (!run.SendBytes(run.m_packet, n)) {
            return false;
        }
        const bool lastStubBlock = phase == ImagePhase::UpdaterStub && k == blockCount;
        if (!run.Expect(lastStubBlock ? PKT_ACK_03 : PKT_ACK)) {
            return false;
        }
    }
    return true;
}

bool SendUpdaterStub(CUpdateRun& run)
{
    CScratchCopy copy;
    uint64_t size = 0;
    int32_t blockCount = 0;
    if (!OpenImage(kStubFileName, run.m_blockSize, copy, size, blockCount)) {
        return false;
    }
    const uint32_t n = FillCmd56(run.m_packet, static_cast<uint32_t>(size));
    if (!run.SendBytes(run.m_packet, n) || !run.Expect(PKT_ACK)) {
        return false;
    }
    run.m_stubBlockCount = blockCount;
    run.OpenProgress(kStubPhaseText, blockCount);
    uint32_t unusedSum = 0;
    if (!SendImageBlocks(run, copy, size, blockCount, ImagePhase::UpdaterStub, unusedSum)) {
        return false;
    }
    copy.Discard();
    run.CloseProgress();
    return run.Expect(PKT_ACK);
}

bool WriteOsImage(CUpdateRun& run)
{
    run.OpenProgress(kOsPhaseText, run.m_stubBlockCount);
    for (int attempt = 0; attempt < kOsAttempts; ++attempt) {
        bool accepted = false;
        if (!SendOsImageAttempt(run, accepted)) {
            return false;
        }
        if (accepted) {
            return true;
        }
    }
    return false;   // three rejected tail checks: the image did not arrive whole
}
