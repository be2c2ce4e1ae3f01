#include "update/run_update.h"

#include <memory>

#include "device/enumerate.h"
#include "update/identity_check.h"
#include "update/image_transfer.h"
#include "update/update_run.h"

namespace {

constexpr int32_t kDevicePathSize = 260;

// Walks the enumeration from index 0 and claims the first path no other
// update run of this process holds; false when there is none.
bool PickDevice(CUpdateHost& app, char* devicePath)
{
    int32_t index = 0;
    for (;;) {
        index = EnumerateDevicePath(index, devicePath, kDevicePathSize);
        if (index == -1) {
            return false;
        }
        if (app.ClaimDevicePath(devicePath) == 1) {
            return true;
        }
    }
}

enum class Route { OsRoute, StubRoute, Failed };

// Check, block-size probe and identity request.
Route Handshake(CUpdateRun& run)
{
    if (!run.Send(PKT_CHECK) || !run.Expect(PKT_ACK)) {
        return Route::Failed;
    }
    if (!run.Send(PKT_CMD_07)) {
        return Route::Failed;
    }
    switch (run.ReadAckOrNak()) {
    case AckOrNak::Ack: run.m_blockSize = 1024; break;
    case AckOrNak::Nak: run.m_blockSize = 256; break;
    case AckOrNak::Other: return Route::Failed;
    }
    if (!run.Send(PKT_CMD_54)) {
        return Route::Failed;
    }
    switch (run.ReadAckOrNak()) {
    case AckOrNak::Ack: return Route::OsRoute;
    case AckOrNak::Nak: return Route::StubRoute;
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

// Everything between the opened channel and the ending. Returns Success when
// the OS image has been sent; any other result means the run gives up.
UpdateResult Converse(CUpdateRun& run)
{
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

}  // namespace

UpdateResult RunUpdate(CUpdateHost& app)
{
    // 1. The result starts as a failure; the channel object is made.
    UpdateResult result = Failed;
    std::unique_ptr<CUsbChannel> channel = app.NewChannel();
    CUpdateRun run(app.FrontEnd(), *channel);

    // Images that cannot be sent whole stop the run before any calculator is
    // touched: no stub is started on a calculator whose OS cannot follow.
    if (!ImageFilesUsable()) {
        return result;
    }

    // 2. Device pick.
    char devicePath[kDevicePathSize] = {};
    if (!PickDevice(app, devicePath)) {
        return result;
    }

    // 3. Open.
    if (channel->Open(devicePath) == ChannelOk) {
        // 4.-9. The conversation, then the ending or the abandon path.
        const UpdateResult outcome = Converse(run);
        if (outcome == Success) {
            run.CloseProgress();
            if (run.Send(PKT_TERMINATE)) {
                run.ReadShortReply();   // the calculator's last word is not examined
                result = Success;
            }
        } else {
            run.Send(PKT_TERMINATE_04);   // its status is ignored
            result = outcome;
        }
        // Release step 1.
        channel->Close();
    }
    // Release steps 2 and 3.
    app.ReleaseDevicePath(devicePath);
    channel.reset();
    run.CloseProgress();
    return result;
}
