// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/identity_check.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device/safe_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
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
constexpr const char* kIdentityPhaseText = N_("Checking the calculator version...");

int LookUpClass(const uint8_t* code)
{
    for (const ModelEntry& entry : kModelTable) {
        if (std::memcmp(entry.code, code, kModelCodeLength) == 0) {
            return entry.modelClass;
        }
    }
    return 0;
}

bool IsPrintableCode(const uint8_t* code)
{
    bool printable = true;
    for (uint32_t i = 0; i < kModelCodeLength; ++i) {
        printable = printable && code[i] >= 0x20 && code[i] < 0x7F;
    }
    return printable;
}

// A model code as text: its four bytes in quotes, shown as hex when not printable.
std::string ShowModelCode(const uint8_t* code)
{
    return IsPrintableCode(code) ? "\"" + ModelCodeText(code) + "\"" : ModelCodeText(code);
}

// The calculator and the image say their versions: shown escaped.
std::string VersionText(const char* text)
{
    return SafeText(std::string_view(text, 5));   // "01.05"
}

CheckOutcome CompareImageModel(CUpdateRun& run, const uint8_t* imageModelCode, int modelClass)
{
    const int needed = NeededModelClass(imageModelCode);
    if (needed != 0 && needed == modelClass) {
        return CheckOutcome::GoOn;
    }
    run.Fail(Message(N_("the OS image (model code %s) is not meant for this calculator"),
                        {ShowModelCode(imageModelCode)}),
             ReasonCode::WrongModel);
    return CheckOutcome::UnsupportedModel;
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

std::string ModelCodeText(const uint8_t* code)
{
    if (IsPrintableCode(code)) {
        return std::string(reinterpret_cast<const char*>(code), kModelCodeLength);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (uint32_t i = 0; i < kModelCodeLength; ++i) {
        text += {kHex[code[i] >> 4], kHex[code[i] & 15]};
    }
    return text;
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

    run.SetStep(N_("the calculator's identity"));
    run.OpenProgress(kIdentityPhaseText, kIdentityPacketCount);
    for (int n = 0; n < kIdentityPacketCount; ++n) {
        run.StepProgress();
        uint16_t payloadLength = 0;
        if (!ReceiveDataPacket(run.Channel(), header.bytes(), run.m_reply, run.m_packet, payloadLength)) {
            run.ReceiveFailed(Message(N_("identity packet %d of %d was not received whole, or was not an "
                                            "identity packet"),
                                         {std::to_string(n + 1), std::to_string(kIdentityPacketCount)}));
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
    run.m_facts.model = ModelCodeText(modelCode);

    if (!run.Expect(PKT_ROLESWAP)) {
        return CheckOutcome::Failed;
    }
    modelClass = ModelClassOf(modelCode);
    if (modelClass == 0) {
        run.Fail(Message(N_("the calculator's model code %s is not one this program supports"),
                            {ShowModelCode(modelCode)}),
                 ReasonCode::WrongModel);
        return CheckOutcome::UnsupportedModel;
    }
    return CheckOutcome::GoOn;
}

namespace {

// The start of the identity exchange and the identity stream on the OS route.
CheckOutcome ReadOsRouteIdentity(CUpdateRun& run, int& modelClass)
{
    run.SetStep(N_("the start of the identity exchange"));
    if (!run.Send(PKT_ROLESWAP) || !run.Expect(PKT_CMD_55) || !run.Send(PKT_ACK)) {
        return CheckOutcome::Failed;
    }
    return ReadIdentityStream(run, HDR_DATA_55, modelClass);
}

// The device information with the calculator's version: false (the reason
// recorded) when it cannot be had or read.
bool ReadDeviceInformation(CUpdateRun& run)
{
    run.SetStep(N_("the device information"));
    if (!run.Send(PKT_CMD_01) || !run.ReadReply(kDeviceInfoLength)) {
        return false;
    }
    if (!IsDeviceInfoReply(run.m_reply)) {
        return run.Unexpected(kDeviceInfoLength, Message(N_("the device information")));
    }
    const char* calcVersionText = reinterpret_cast<const char*>(run.m_reply + kDeviceInfoVersionOffset);
    run.m_facts.osBefore = VersionFieldText(run.m_reply + kDeviceInfoVersionOffset);
    if (!HasVersionPoints(calcVersionText)) {
        return run.Fail(Message(N_("the calculator's OS version \"%s\" cannot be read"),
                                {SafeText(std::string_view(calcVersionText, 10))}),
                        ReasonCode::UnreadableVersion);
    }
    return true;
}

// The image header into the block buffer.
bool ReadImageHeader(CUpdateRun& run)
{
    return ReadOsImageHeader(run.m_images.os, run.m_block, kOsHeaderLength) ||
           run.Fail(Message(N_("the OS image header cannot be read from its scratch copy")), ReasonCode::ImagesUnusable);
}

// The version of the image header in the block buffer is readable.
bool ImageVersionReadable(CUpdateRun& run)
{
    const char* imageVersionText = reinterpret_cast<const char*>(run.m_block + kModelCodeLength);
    if (!HasVersionPoints(imageVersionText)) {
        return run.Fail(Message(N_("the OS image's version \"%s\" cannot be read"),
                                {SafeText(std::string_view(imageVersionText, 10))}),
                        ReasonCode::ImagesUnusable);
    }
    return true;
}

}  // namespace

CheckOutcome CheckIdentityAndVersion(CUpdateRun& run)
{
    int modelClass = 0;
    const CheckOutcome identity = ReadOsRouteIdentity(run, modelClass);
    if (identity != CheckOutcome::GoOn) {
        return identity;
    }
    if (!ReadDeviceInformation(run)) {
        return CheckOutcome::Failed;
    }
    const char* calcVersionText = reinterpret_cast<const char*>(run.m_reply + kDeviceInfoVersionOffset);
    const int32_t calculatorVersion = ParseVersionNumber(calcVersionText);

    run.SetStep(N_("the version check"));
    if (!ReadImageHeader(run)) {
        return CheckOutcome::Failed;
    }
    const CheckOutcome model = CompareImageModel(run, run.m_block, modelClass);
    if (model != CheckOutcome::GoOn) {
        return model;
    }
    if (!ImageVersionReadable(run)) {
        return CheckOutcome::Failed;
    }
    const char* imageVersionText = reinterpret_cast<const char*>(run.m_block + kModelCodeLength);
    const int32_t imageVersion = ParseVersionNumber(imageVersionText);
    if (calculatorVersion < imageVersion) {
        return CheckOutcome::GoOn;
    }
    run.Fail(Message(N_("the calculator runs OS %s, already at or above the image's %s"),
                        {VersionText(calcVersionText), VersionText(imageVersionText)}),
             ReasonCode::AlreadyCurrent);
    return CheckOutcome::AlreadyCurrent;
}

CheckOutcome ReadCalculatorVersion(CUpdateRun& run)
{
    int modelClass = 0;
    const CheckOutcome identity = ReadOsRouteIdentity(run, modelClass);
    if (identity == CheckOutcome::Failed || !ReadDeviceInformation(run)) {
        return CheckOutcome::Failed;
    }
    if (run.m_images.os.size == 0) {
        return CheckOutcome::GoOn;   // nothing to compare with
    }
    run.SetStep(N_("the version check"));
    if (!ReadImageHeader(run) || !ImageVersionReadable(run)) {
        return CheckOutcome::Failed;
    }
    const int needed = NeededModelClass(run.m_block);
    const int32_t calculatorVersion =
        ParseVersionNumber(reinterpret_cast<const char*>(run.m_reply + kDeviceInfoVersionOffset));
    const int32_t imageVersion = ParseVersionNumber(reinterpret_cast<const char*>(run.m_block + kModelCodeLength));
    run.m_facts.needsUpdate = modelClass == 0 || needed != modelClass ? "unsupported"
                              : calculatorVersion < imageVersion     ? "true"
                                                                     : "false";
    return CheckOutcome::GoOn;
}

CheckOutcome CheckIdentityAfterStub(CUpdateRun& run)
{
    run.SetStep(N_("the start of the identity exchange with the updater stub"));
    if (!run.Send(PKT_CMD_4F) || !run.Expect(PKT_ACK) || !run.Send(PKT_ROLESWAP) ||
        !run.Expect(PKT_CMD_50) || !run.Send(PKT_ACK)) {
        return CheckOutcome::Failed;
    }
    int modelClass = 0;
    const CheckOutcome identity = ReadIdentityStream(run, HDR_DATA_50, modelClass);
    if (identity != CheckOutcome::GoOn) {
        return identity;
    }
    run.SetStep(N_("the model check"));
    if (!ReadOsImageHeader(run.m_images.os, run.m_block, kModelCodeLength)) {
        run.Fail(Message(N_("the OS image header cannot be read from its scratch copy")), ReasonCode::ImagesUnusable);
        return CheckOutcome::Failed;
    }
    return CompareImageModel(run, run.m_block, modelClass);
}
