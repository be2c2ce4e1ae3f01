#include "update/image_transfer.h"

#include <algorithm>

namespace {

constexpr const char* kStubPhaseText = "Sending data...";
constexpr const char* kOsPhaseText = "Updating...";
constexpr uint16_t kFirstSummedBlock = 65;   // blocks from 64 KiB on
constexpr int kOsAttempts = 3;

// Makes a scratch copy of the phase's image, measures it in blocks and
// announces it; false when the file cannot be copied, is too large to number
// its blocks, or the calculator does not take the announcement.
bool OpenAndAnnounce(CUpdateRun& run, ImagePhase phase, OpenedImage& image)
{
    const bool stub = phase == ImagePhase::UpdaterStub;
    if (!image.copy.Make(stub ? kStubFileName : kOsImageFileName) || !image.copy.QuerySize(image.size)) {
        return false;
    }
    const int64_t blocks = BlockCount(image.size, run.m_blockSize);
    if (blocks > kMaxBlockCount) {
        return false;
    }
    image.blockCount = static_cast<int32_t>(blocks);
    const auto size = static_cast<uint32_t>(image.size);
    const uint32_t n = stub ? FillCmd56(run.m_packet, size) : FillCmd57(run.m_packet, size);
    return run.SendBytes(run.m_packet, n) && run.Expect(PKT_ACK);
}

// Sends the OS image once: announcement, blocks, and with 1024-byte blocks
// the tail check. `accepted` tells whether the tail check was taken.
bool SendOsImageAttempt(CUpdateRun& run, bool& accepted)
{
    run.ResetProgress();
    OpenedImage image;
    if (!OpenAndAnnounce(run, ImagePhase::OsImage, image)) {
        return false;
    }
    run.SetProgressRange(image.blockCount);
    uint32_t imageSum = 0;
    if (!SendImageBlocks(run, image, ImagePhase::OsImage, imageSum)) {
        return false;
    }
    image.copy.Discard();

    if (run.m_blockSize == 256) {
        accepted = true;   // no tail check with small blocks
        return true;
    }
    const uint32_t m = FillCmd58(run.m_packet, static_cast<uint32_t>(image.size), static_cast<uint16_t>(imageSum));
    if (!run.SendBytes(run.m_packet, m) || !run.ReadShortReply()) {
        return false;
    }
    accepted = run.ReplyIs(PKT_ACK);
    return true;
}

}  // namespace

bool SendImageBlocks(CUpdateRun& run, OpenedImage& image, ImagePhase phase, uint32_t& imageSum)
{
    const int32_t blockCount = image.blockCount;
    const uint8_t* dataTemplate = phase == ImagePhase::UpdaterStub ? TPL_DATA_56.bytes() : TPL_DATA_57.bytes();
    PrepareDataSeries(run.m_packet, dataTemplate, static_cast<uint16_t>(blockCount));
    uint64_t remaining = image.size;
    for (int32_t k = 1; k <= blockCount; ++k) {
        const auto blockNumber = static_cast<uint16_t>(k);
        run.StepProgress();
        const auto length = static_cast<uint16_t>(std::min<uint64_t>(remaining, run.m_blockSize));
        if (!image.copy.ReadExactly(run.m_block, length)) {
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
    OpenedImage image;
    if (!OpenAndAnnounce(run, ImagePhase::UpdaterStub, image)) {
        return false;
    }
    run.m_stubBlockCount = image.blockCount;
    run.OpenProgress(kStubPhaseText, image.blockCount);
    uint32_t unusedSum = 0;
    if (!SendImageBlocks(run, image, ImagePhase::UpdaterStub, unusedSum)) {
        return false;
    }
    image.copy.Discard();
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
