#pragma once
// The state of one update run and the exchanges every phase of it uses.
#include <cstdint>

#include "device/usb_channel.h"
#include "protocol/catalogue.h"
#include "protocol/codec.h"
#include "ui/front_end.h"
#include "ui/progress_dlg.h"

// The calculator's answer where it may accept or refuse.
enum class AckOrNak { Ack, Nak, Other };

class CUpdateRun {
public:
    CUpdateRun(IFrontEnd& frontEnd, CUsbChannel& channel) : m_frontEnd(frontEnd), m_channel(channel) {}
    ~CUpdateRun() { CloseProgress(); }
    CUpdateRun(const CUpdateRun&) = delete;
    CUpdateRun& operator=(const CUpdateRun&) = delete;

    // Writes a fixed packet with its own length.
    bool Send(const StoredPacket& packet) { return SendBytes(packet.bytes(), packet.length); }
    bool SendBytes(const uint8_t* bytes, uint32_t length) { return m_channel.Write(bytes, length) == ChannelOk; }
    // Reads as many bytes as `packet` has and compares all of them.
    bool Expect(const StoredPacket& packet);
    // Reads 6 bytes into the reply buffer; false when the read fails.
    bool ReadShortReply();
    // Reads one 6-byte reply and tells PKT_ACK from PKT_NAK_04 from the rest
    // (a failed read counts as Other).
    AckOrNak ReadAckOrNak();
    bool ReplyIs(const StoredPacket& packet) const;

    void OpenProgress(const char* phaseText, int stepCount)
    {
        OpenProgressWindow(m_frontEnd, &m_progress, phaseText, stepCount);
    }
    void CloseProgress() { CloseProgressWindow(&m_progress); }
    void StepProgress() { Bar(PBM_STEPIT, 0, 0); }
    void ResetProgress() { Bar(PBM_SETPOS, 0, 0); }
    void SetProgressRange(int32_t top) { Bar(PBM_SETRANGE, 0, MakeRangeParam(0, top)); }

    CUsbChannel& Channel() { return m_channel; }
    CProgressDlg* ProgressWindow() const { return m_progress; }

    uint32_t m_blockSize = 1024;
    int m_routeFlag = 0;
    int32_t m_stubBlockCount = 0;

    uint8_t m_reply[kReplyBufferSize] = {};
    uint8_t m_packet[kPacketBufferSize] = {};
    uint8_t m_block[kBlockBufferSize] = {};

private:
    void Bar(unsigned message, uintptr_t wParam, intptr_t lParam)
    {
        if (m_progress != nullptr) {
            m_progress->m_progress.SendMessage(message, wParam, lParam);
        }
    }

    IFrontEnd& m_frontEnd;
    CUsbChannel& m_channel;
    CProgressDlg* m_progress = nullptr;
};
