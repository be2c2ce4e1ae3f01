// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/run_update.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "device/decision_log.h"
#include "device/node_access.h"
#include "device/safe_text.h"
#include "device/transport.h"
#include "device/usb_location.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "update/confirm_update.h"
#include "update/device_picking.h"
#include "update/identity_check.h"
#include "update/image_transfer.h"
#include "update/update_run.h"

const char* ReasonCodeWord(ReasonCode code)
{
    switch (code) {
    case ReasonCode::None: return nullptr;
    case ReasonCode::NoCalculator: return "no-calculator";
    case ReasonCode::OpenRefused: return "open-refused";
    case ReasonCode::OpenFailed: return "open-failed";
    case ReasonCode::ImagesUnusable: return "images-unusable";
    case ReasonCode::LinkLost: return "link-lost";
    case ReasonCode::NotAnswering: return "not-answering";
    case ReasonCode::Stalled: return "stalled";
    case ReasonCode::Stopped: return "stopped";
    case ReasonCode::OutOfStep: return "out-of-step";
    case ReasonCode::WrongModel: return "wrong-model";
    case ReasonCode::AlreadyCurrent: return "already-current";
    case ReasonCode::UnreadableVersion: return "unreadable-version";
    case ReasonCode::ImageRejected: return "image-rejected";
    case ReasonCode::OsNotTaken: return "os-not-taken";
    case ReasonCode::NotConfirmed: return "not-confirmed";
    case ReasonCode::Other: return "other";
    }
    return "other";
}

const char* ResultWord(UpdateResult result)
{
    switch (result) {
    case Success:
        return N_("updated");
    case AlreadyCurrent:
        return N_("current");
    case UnsupportedModel:
        return N_("unsupported");
    case Checked:
        return N_("checked");
    default:
        return N_("failed");
    }
}

namespace {

// What the trace header says of the program and the calculator.
TraceSubject TraceSubjectFor(const UpdateRunInputs& inputs, const UsbLocation& usb)
{
    TraceSubject subject;
    subject.programVersion = inputs.trace.programVersion;
    subject.usbIds = usb.ids;
    subject.usbSerial = usb.serial;
    subject.usbPort = usb.port;
    subject.lastRunCopy = inputs.trace.lastRunCopy;
    subject.tracePath = inputs.trace.tracePath;
    return subject;
}

// The trace's word for a result, the history's word for it too.
const char* TraceResultWord(UpdateResult result)
{
    switch (result) {
    case Success: return "updated";
    case AlreadyCurrent: return "current";
    case UnsupportedModel: return "unsupported";
    case Checked: return "checked";
    case Failed: break;
    }
    return "failed";
}

enum class Route { OsRoute, StubRoute, Failed };

// The largest image must still be numbered at the probed block size.
bool ImagesFitBlockSize(CUpdateRun& run)
{
    for (const ImageSnapshot* image : {&run.m_images.stub, &run.m_images.os}) {
        const int64_t blocks = BlockCount(image->size, run.m_blockSize);
        if (blocks > kMaxBlockCount) {
            return run.Fail(Message(N_("%s needs %d blocks of %d bytes, more than %d can be numbered"),
                                       {Message(image == &run.m_images.stub ? N_("the updater stub") : N_("the OS image")),
                                        std::to_string(blocks), std::to_string(run.m_blockSize),
                                        std::to_string(kMaxBlockCount)}),
                            ReasonCode::ImagesUnusable);
        }
    }
    return true;
}

// Check, block-size probe and identity request.
Route Handshake(CUpdateRun& run)
{
    run.SetStep(N_("the connection check"));
    if (!run.Send(PKT_CHECK) || !run.Expect(PKT_ACK)) {
        return Route::Failed;
    }
    run.SetStep(N_("the block-size probe"));
    if (!run.Send(PKT_CMD_07)) {
        return Route::Failed;
    }
    switch (run.ReadAckOrNak()) {
    case AckOrNak::Ack: run.m_blockSize = 1024; break;
    case AckOrNak::Nak: run.m_blockSize = 256; break;
    case AckOrNak::Other: return Route::Failed;
    }
    run.m_facts.blockSize = run.m_blockSize;
    // Nothing of the stub is sent for images that cannot be sent whole.
    if (!run.Inputs().checkOnly && !ImagesFitBlockSize(run)) {
        return Route::Failed;
    }
    run.SetStep(N_("the identity request"));
    if (!run.Send(PKT_CMD_54)) {
        return Route::Failed;
    }
    switch (run.ReadAckOrNak()) {
    case AckOrNak::Ack: run.m_facts.route = "os"; return Route::OsRoute;
    case AckOrNak::Nak: run.m_facts.route = "stub"; return Route::StubRoute;
    case AckOrNak::Other: break;
    }
    return Route::Failed;
}

UpdateResult ResultOf(CheckOutcome outcome)
{
    switch (outcome) {
    case CheckOutcome::UnsupportedModel: return UnsupportedModel;
    case CheckOutcome::AlreadyCurrent: return AlreadyCurrent;
    default: return Failed;
    }
}

// A check: the version read on the OS route; a calculator on the stub route
// has no OS to report and is given nothing.
UpdateResult Check(CUpdateRun& run)
{
    const Route route = Handshake(run);
    if (route == Route::Failed) {
        return Failed;
    }
    if (route == Route::OsRoute && ReadCalculatorVersion(run) != CheckOutcome::GoOn) {
        return Failed;
    }
    return Checked;
}

// Everything between the opened channel and the ending. Returns Success when
// the OS image has been sent; any other result means the run gives up.
UpdateResult Converse(CUpdateRun& run)
{
    if (run.Inputs().checkOnly) {
        return Check(run);
    }
    const Route route = Handshake(run);
    if (route == Route::Failed) {
        return Failed;
    }
    if (route == Route::OsRoute) {
        const CheckOutcome check = CheckIdentityAndVersion(run);
        if (check != CheckOutcome::GoOn) {
            return ResultOf(check);
        }
    } else {
        run.m_routeFlag = 1;
    }
    if (!SendUpdaterStub(run)) {
        return Failed;
    }
    if (run.m_routeFlag == 1) {
        const CheckOutcome check = CheckIdentityAfterStub(run);
        if (check != CheckOutcome::GoOn) {
            return ResultOf(check);
        }
    }
    return WriteOsImage(run) ? Success : Failed;
}

// The ending after the OS image was sent: PKT_TERMINATE and the calculator's
// last word, which is waited for briefly and never examined. Bytes that came
// unasked before it turn the ending into the abandon path.
UpdateResult End(CUpdateRun& run)
{
    run.CloseProgress();
    run.SetStep(N_("the ending"));
    if (run.Channel().InputWaiting()) {
        run.OutOfStep();
        run.Abandon();
        return Failed;
    }
    if (!run.Send(PKT_TERMINATE)) {
        return Failed;
    }
    run.Channel().m_overallTimeoutMs = run.Inputs().wait.finalReplyMs;
    uint32_t count = 0;
    run.Channel().Read(run.m_reply, PKT_ACK.length, count);
    return Success;
}

}  // namespace

Message CheckedText(const UpdateFacts& facts)
{
    if (facts.osBefore.empty()) {
        return Message(N_("no version reported"));
    }
    const std::string version = SafeText(facts.osBefore.substr(0, 5));   // "01.04", as the calculator shows it
    if (facts.needsUpdate == "true") {
        return Message(N_("OS %s — needs the update"), {version});
    }
    if (facts.needsUpdate == "false") {
        return Message(N_("OS %s — current"), {version});
    }
    if (facts.needsUpdate == "unsupported") {
        return Message(N_("OS %s — another model"), {version});
    }
    return Message(N_("OS %s"), {version});
}

Message NoCalculatorReason(const Message& where)
{
    return Message(N_("no calculator found (%s)"), {where});
}

Message OpenFailureReason(const char* devicePath, uint32_t error)
{
    // A port locked by another program: the lock refuses with EWOULDBLOCK
    // where a device itself says EBUSY; both mean the same to the user.
    if (error == EAGAIN || error == EWOULDBLOCK) {
        error = EBUSY;
    }
    const MessageArg device = *devicePath != '\0' ? MessageArg(SafeText(devicePath)) : MessageArg(Message(N_("the device")));
    Message why;
    if (error == ENOSYS) {
        why = Message(NoDriverReason());
    } else if (error == EPROTONOSUPPORT) {
        why = Message(N_("it is not a calculator but %s, and nothing was sent to it; name the calculator "
                         "(zentrix-update --list-devices shows what is offered)"),
                      {NotACalculator(devicePath)});
    } else if (error == ENOTTY) {
        why = Message(N_("it is not a device (a file, a folder or a pipe); name the calculator's serial port or USB device "
                 "(zentrix-update --list-devices shows what is offered)"));
    } else if (error == EACCES || error == EPERM) {
        why = Message(N_("%s; %s"), {std::string(std::strerror(static_cast<int>(error))), Message(PermissionRemedy())});
    } else if (error == EBUSY) {
        why = Message(N_("%s; another program has the device open: close it and start again"),
                         {std::string(std::strerror(static_cast<int>(error)))});
    } else if (error == ENOENT && MissingDeviceRemedy() != nullptr) {
        why = Message(N_("%s; %s"), {std::string(std::strerror(static_cast<int>(error))), Message(MissingDeviceRemedy())});
    } else {
        why = Message::Raw(std::strerror(static_cast<int>(error)));
    }
    return Message(N_("cannot open %s: %s"), {device, why});
}

UpdateOutcome RunUpdate(const UpdateRunInputs& inputs)
{
    // 1. The result starts as a failure; the channel object is made.
    UpdateOutcome outcome;
    CUpdateRun run(inputs, inputs.devices->NewChannel());

    // Both images are copied once, now: what is checked is what is sent,
    // and images that cannot be sent stop the run before any calculator is
    // touched.
    Message problem;
    if (inputs.images != nullptr) {
        run.m_images.ShareFrom(*inputs.images);
    } else if (!inputs.checkOnly && !TakeImageSnapshots(inputs.baseDir, inputs.tempDir, run.m_images, problem)) {
        outcome.reason = problem;
        outcome.code = ReasonCode::ImagesUnusable;
        return outcome;
    }
    run.m_facts.imageSha256 = run.m_images.os.sha256;
    run.m_facts.stubSha256 = run.m_images.stub.sha256;
    if (run.m_images.os.size > 0 && ReadOsImageHeader(run.m_images.os, run.m_block, kOsHeaderLength)) {
        run.m_facts.osImage = VersionFieldText(run.m_block + kModelCodeLength);
    }

    // 2. Device pick, unless the run was given its calculator.
    std::string devicePath = inputs.devicePath;
    if (devicePath.empty() && !ClaimFirstFreeDevice(*inputs.devices, *inputs.claimed, devicePath)) {
        outcome.reason = NoCalculatorReason(inputs.devices->Describe());
        outcome.code = ReasonCode::NoCalculator;
        inputs.devices->Decisions()([&] { return "run ended before any calculator: " + outcome.reason.English(); });
        outcome.facts = std::move(run.m_facts);
        return outcome;
    }
    run.m_facts.device = devicePath;
    UsbLocation usb = FindUsbLocation(devicePath);
    usb.label = inputs.devices->LabelOf(devicePath, usb);
    run.m_facts.usbSerial = usb.serial;
    run.m_facts.usbPort = usb.port;
    run.m_facts.label = usb.label;
    run.m_facts.assetTag = inputs.devices->AssetTagOf(devicePath, usb);
    inputs.port->DeviceTaken(devicePath, usb);

    // 3. Open.
    run.Channel().SetTraceSubject(TraceSubjectFor(inputs, usb));
    if (run.Channel().Open(devicePath.c_str()) == ChannelOk) {
        run.m_facts.opened = true;
        if (!run.Channel().TraceFailure().Empty()) {
            inputs.port->Warn(Message(N_("%s; the update goes on without a trace"), {run.Channel().TraceFailure()}));
        }
        // 4.-9. The conversation, then the ending or the abandon path.
        const UpdateResult result = Converse(run);
        if (result == Success) {
            outcome.result = End(run);
        } else {
            run.Abandon();
            outcome.result = result;
        }
        outcome.reason = outcome.result == Success || outcome.result == Checked ? Message() : run.Reason();
        outcome.code = outcome.result == Success || outcome.result == Checked ? ReasonCode::None
                       : run.Code() == ReasonCode::None                       ? ReasonCode::Other
                                                                              : run.Code();
        run.Channel().TraceEnd(TraceResultWord(outcome.result), run.m_facts.blockSize, outcome.reason.English());
        if (!run.Channel().TraceWriteFailure().Empty()) {
            inputs.port->Warn(run.Channel().TraceWriteFailure());
        }
        // Release step 1.
        run.Channel().Close();
    } else {
        outcome.reason = OpenFailureReason(devicePath.c_str(), run.Channel().LastError());
        const uint32_t error = run.Channel().LastError();
        outcome.code = error == EACCES || error == EPERM ? ReasonCode::OpenRefused : ReasonCode::OpenFailed;
        inputs.devices->Decisions()([&] {
            const uint32_t error = run.Channel().LastError();
            const std::string access = error == EACCES || error == EPERM ? NodeAccessText(devicePath) : std::string();
            return "the system refused " + SafeText(devicePath) + ": " + std::strerror(static_cast<int>(error)) +
                   (access.empty() ? "" : " (" + access + ")");
        });
    }
    run.DestroyChannel();
    run.CloseProgress();
    if (outcome.result == Success || outcome.result == Checked) {
        outcome.reason = Message();
        outcome.code = ReasonCode::None;
    }
    inputs.devices->Decisions()([&] {
        return "run on " + SafeText(devicePath) + " ended " + TraceResultWord(outcome.result) +
               (outcome.reason.Empty() ? "" : ": " + outcome.reason.English());
    });
    outcome.facts = std::move(run.m_facts);
    // 10. The calculator restarts; what it runs then is read back, while
    // its old path is still held.
    if (outcome.result == Success && inputs.confirm.enabled) {
        run.DoneWriting();   // nothing is written while it restarts
        ConfirmAfterRestart(inputs, outcome);
    }
    // Release steps 2 and 3; a calculator the run was given is its giver's.
    if (inputs.devicePath.empty()) {
        inputs.claimed->ReleaseDevicePath(devicePath.c_str());
    }
    return outcome;
}
