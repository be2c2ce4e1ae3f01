#include "update/identity_check.h"

#include <cstdlib>
#include <cstring>

#include "update/image_files.h"

namespace {

struct ModelEntry {
    uint8_t code[4];
    int modelClass;
};

// The calculator's model code decides its class; the same codes in an OS
// image say which class the image needs.
constexpr ModelEntry kModelTable[] = {
    {{0x33, 0x36, 0x35, 0x45}, 2},   // "365E"
    {{0x80, 0x00, 0x5D, 0x7C}, 1},
    {{0xFF, 0xFF, 0xFF, 0xFF}, 1},
};

constexpr int kIdentityPacketCount = 256;
constexpr int kModelPacketNumber = 3;
constexpr uint32_t kModelCodeLength = 4;
constexpr const char* kIdentityPhaseText = "Checking the calculator version...";

int LookUpClass(const uint8_t* code)
{
    for (const ModelEntry& entry : kModelTable) {
        if (std::memcmp(entry.code, code, kModelCodeLength) == 0) {
            return entry.modelClass;
        }
    }
    return 0;
}

bool HasVersionPoints(const char* text)
{
    return text[2] == '.' && text[5] == '.';
}

CheckOutcome CompareImageModel(const uint8_t* imageModelCode, int modelClass)
{
    const int needed = NeededModelClass(imageModelCode);
    return needed != 0 && needed == modelClass ? CheckOutcome::GoOn : CheckOutcome::UnsupportedModel;
}

}  // namespace

int ModelClassOf(const uint8_t* modelCode)
{
    return LookUpClass(modelCode);
}

int NeededModelClass(const uint8_t* imageModelCode)
{
    return LookUpClass(imageModelCode);
}

int32_t ParseVersionNumber(const char* versionText)
{
    const char digits[5] = {versionText[0], versionText[1], versionText[3], versionText[4], '\0'};
    return std::atoi(digits);
}

CheckOutcome ReadIdentityStream(CUpdateRun& run, const StoredPacket& header, int& modelClass)
{
    // A model packet with fewer than four payload bytes leaves a code of
    // zeros, which no model has.
    uint8_t modelCode[kModelCodeLength] = {};

    run.OpenProgress(kIdentityPhaseText, kIdentityPacketCount);
    for (int n = 0; n < kIdentityPacketCount; ++n) {
        run.StepProgress();
        uint16_t payloadLength = 0;
        if (!ReceiveDataPacket(run.Channel(), header.bytes(), run.m_reply, run.m_packet, payloadLength)) {
            return CheckOutcome::Failed;
        }
        if (n == kModelPacketNumber && payloadLength >= kModelCodeLength) {
            std::memcpy(modelCode, run.m_packet, kModelCodeLength);
        }
        if (!run.Send(PKT_ACK)) {
            return CheckOutcome::Failed;
        }
    }
    run.CloseProgress();

    if (!run.Expect(PKT_ROLESWAP)) {
        return CheckOutcome::Failed;
    }
    modelClass = ModelClassOf(modelCode);
    return modelClass == 0 ? CheckOutcome::UnsupportedModel : CheckOutcome::GoOn;
}

CheckOutcome CheckIdentityAndVersion(CUpdateRun& run)
{
    if (!run.Send(PKT_ROLESWAP) || !run.Expect(PKT_CMD_55) || !run.Send(PKT_ACK)) {
        return CheckOutcome::Failed;
    }
    int modelClass = 0;
    const CheckOutcome identity = ReadIdentityStream(run, HDR_DATA_55, modelClass);
    if (identity != CheckOutcome::GoOn) {
        return identity;
    }

    uint32_t count = 0;
    if (!run.Send(PKT_CMD_01) ||
        run.Channel().Read(run.m_reply, kDeviceInfoLength, count) != ChannelOk ||
        !IsDeviceInfoReply(run.m_reply)) {
        return CheckOutcome::Failed;
    }
    const char* calcVersionText = reinterpret_cast<const char*>(run.m_reply + kDeviceInfoVersionOffset);
    if (!HasVersionPoints(calcVersionText)) {
        return CheckOutcome::Failed;
    }
    const int32_t calculatorVersion = ParseVersionNumber(calcVersionText);

    if (!ReadOsImageHeader(run.m_block, kOsHeaderLength)) {
        return CheckOutcome::Failed;
    }
    const CheckOutcome model = CompareImageModel(run.m_block, modelClass);
    if (model != CheckOutcome::GoOn) {
        return model;
    }
    const char* imageVersionText = reinterpret_cast<const char*>(run.m_block + kModelCodeLength);
    if (!HasVersionPoints(imageVersionText)) {
        return CheckOutcome::Failed;
    }
    const int32_t imageVersion = ParseVersionNumber(imageVersionText);
    return calculatorVersion < imageVersion ? CheckOutcome::GoOn : CheckOutcome::AlreadyCurrent;
}

CheckOutcome CheckIdentityAfterStub(CUpdateRun& run)
{
    if (!run.Send(PKT_CMD_4F) || !run.Expect(PKT_ACK) || !run.Send(PKT_ROLESWAP) ||
        !run.Expect(PKT_CMD_50) || !run.Send(PKT_ACK)) {
        return CheckOutcome::Failed;
    }
    int modelClass = 0;
    const CheckOutcome identity = ReadIdentityStream(run, HDR_DATA_50, modelClass);
    if (identity != CheckOutcome::GoOn) {
        return identity;
    }
    if (!ReadOsImageHeader(run.m_block, kModelCodeLength)) {
        return CheckOutcome::Failed;
    }
    return CompareImageModel(run.m_block, modelClass);
}
