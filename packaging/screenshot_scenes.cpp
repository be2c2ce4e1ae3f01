// SPDX-License-Identifier: GPL-3.0-or-later
#include "packaging/screenshot_scenes.h"

#include <QApplication>
#include <QDialog>
#include <QTableView>
#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <memory>
#include <vector>

#include "shell/records/history_record.h"
#include "shell/session/classroom_row.h"
#include "shell/session/row_port.h"
#include "ui/qt/qt_classroom_view.h"
#include "ui/qt/qt_history_dialog.h"

namespace {

// A clock that moves 47 s at each look: every run "took" as long.
std::chrono::steady_clock::time_point Clock()
{
    static std::chrono::steady_clock::time_point now;
    now += std::chrono::seconds(47);
    return now;
}

struct Desk {
    const char* serial;
    const char* port;
    UpdateResult result;
    const char* reason;
};

const Desk kDesks[] = {
    {"ZX84-00731", "1-1.1", Success, ""},
    {"ZX84-00732", "1-1.2", Success, ""},
    {"ZX84-00733", "1-1.3", Success, ""},
    {"ZX84-00734", "1-1.4", AlreadyCurrent,
     "the version check: the calculator runs OS 01.05.0000, already at or above the image's 01.05.0000"},
    {"ZX84-00735", "1-2.1", Success, ""},
    {"ZX84-00736", "1-2.2", Failed,
     "the OS image, block 34 of 69: the link to the calculator was lost (the cable came out?)"},
    {"ZX84-00737", "1-2.3", Success, ""},
    {"ZX84-00738", "1-2.4", Success, ""},
};

}  // namespace

bool SaveClassSetPicture(const QString& file)
{
    std::vector<std::unique_ptr<CRowPort>> ports;
    std::vector<ClassroomRow> rows;
    for (size_t i = 0; i < std::size(kDesks); ++i) {
        const Desk& desk = kDesks[i];
        const std::string path = "usb:1:" + std::to_string(10 + i);
        auto port = std::make_unique<CRowPort>(path, static_cast<uint32_t>(i + 1), Clock);
        port->DeviceTaken(path, UsbLocation{desk.serial, desk.port, "1d50:6018", ""});
        port->Began();
        port->Finish({desk.result, Message::Raw(desk.reason)});
        rows.push_back(port->Row());
        ports.push_back(std::move(port));
    }
    CQtClassroomView view;
    view.ShowRows(rows, Message::Raw("Updating 8 calculators at once"));
    RunTally counts = CountsOf(rows);
    counts.tookSeconds = 63;
    view.ShowSummary({}, counts);
    QApplication::processEvents();
    return view.Window() != nullptr && view.Window()->grab().save(file, "PNG");
}

bool SaveHistoryPicture(const QString& file)
{
    const QTemporaryDir dir;
    if (!dir.isValid()) {
        return false;
    }
    const std::string path = dir.filePath(QStringLiteral("history.jsonl")).toStdString();
    {
        std::ofstream history(path, std::ios::binary);
        int minute = 0;
        for (const Desk& desk : kDesks) {
            HistoryRecord record;
            auto& f = record.fields;
            const std::string at = "2026-12-01T09:" + std::to_string(10 + minute);
            minute += 2;
            f[kStarted] = at + ":05Z";
            f[kEnded] = at + ":52Z";
            f[kDevice] = "usb:1:10";
            f[kUsbSerial] = desk.serial;
            f[kUsbPort] = desk.port;
            f[kModel] = "ZX-84";
            f[kOsBefore] = desk.result == AlreadyCurrent ? "01.05.0000" : "01.04.0000";
            f[kOsImage] = "01.05.0000";
            f[kResult] = desk.result == Success ? "updated" : desk.result == AlreadyCurrent ? "current" : "failed";
            f[kReason] = *desk.reason != '\0' ? std::optional<std::string>(desk.reason) : std::nullopt;
            f[kReasonCode] = desk.result == Failed ? std::optional<std::string>("link-lost") : std::nullopt;
            f[kMode] = "all";
            f[kHost] = "lab-2";
            f[kSite] = "North High";
            history << FormatHistoryLine(record) << '\n';
        }
    }
    CHistoryDialog window(nullptr, path);
    window.show();
    if (auto* table = window.findChild<QTableView*>()) {
        table->selectRow(2);   // the failed run, shown in full below
    }
    QApplication::processEvents();
    return window.grab().save(file, "PNG");
}
