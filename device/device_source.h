// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where an update run finds its calculator and the channel it talks through.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/decision_log.h"
#include "device/device_choice.h"
#include "device/usb_channel.h"
#include "i18n/message.h"

class IDeviceSource {
public:
    virtual ~IDeviceSource() = default;

    // One enumeration step: fills `buffer` with the device path at `index`
    // and returns the index of the next step, or -1 when there is none.
    virtual int32_t EnumerateDevicePath(int32_t index, char* buffer, int32_t size) = 0;

    // The channel object of a new update run, not yet open.
    virtual std::unique_ptr<CUsbChannel> NewChannel() = 0;

    // Where calculators are looked for, for a user who found none there.
    virtual Message Describe() const = 0;

    // Whether the devices connected may have changed since the last call
    // (true when it cannot be known: the caller then looks again). The
    // first call starts the watching and says true.
    virtual bool DevicesChanged() { return true; }

    // The name the user gave the calculator at `path`, where `usb` says it
    // is; empty when none.
    virtual std::string LabelOf(const std::string& /*path*/, const UsbLocation& /*usb*/) const { return {}; }
    // Likewise the inventory's asset tag of it.
    virtual std::string AssetTagOf(const std::string& /*path*/, const UsbLocation& /*usb*/) const { return {}; }

    // Where the choices made among these devices are told; off by default.
    virtual DecisionLog Decisions() const { return {}; }
};

class CDeviceWatch;   // device/device_watch.h

// Offers the paths of a list, in order (the path at index i, then i + 1),
// on the channels `newChannel` makes. A path that does not fit the caller's
// buffer ends the enumeration rather than being cut.
class CListedDeviceSource : public IDeviceSource {
public:
    using ChannelMaker = std::function<std::unique_ptr<CUsbChannel>()>;
    CListedDeviceSource(std::vector<std::string> listed, ChannelMaker newChannel, Message description)
        : paths(std::move(listed)), m_newChannel(std::move(newChannel)), m_description(std::move(description))
    {
    }
    int32_t EnumerateDevicePath(int32_t index, char* buffer, int32_t size) override;
    std::unique_ptr<CUsbChannel> NewChannel() override { return m_newChannel ? m_newChannel() : nullptr; }
    Message Describe() const override { return m_description; }

    std::vector<std::string> paths;   // may change between enumerations

private:
    ChannelMaker m_newChannel;
    Message m_description;
};

// The calculators the enumeration library offers, on ordinary channels:
// exactly those of the choice start-up made (none before one is given).
class CSystemDeviceSource : public IDeviceSource {
public:
    CSystemDeviceSource();
    explicit CSystemDeviceSource(DeviceChoice choice);
    // From now on exactly `choice` is searched (and watched).
    void SetChoice(DeviceChoice choice);
    // Where what is offered, passed over and claimed is told from now on.
    void SetDecisions(DecisionLog decisions) { m_decisions = std::move(decisions); }
    DecisionLog Decisions() const override { return m_decisions; }

    int32_t EnumerateDevicePath(int32_t index, char* buffer, int32_t size) override;
    std::unique_ptr<CUsbChannel> NewChannel() override { return std::make_unique<CUsbChannel>(); }
    // Names what was searched and where that came from, and a USB device
    // the system refused lately, in the system's words, when it says so.
    Message Describe() const override;
    // From the system's device events and the folders of the listed paths;
    // where no events can be had, true about once a second.
    bool DevicesChanged() override;
    std::string LabelOf(const std::string& path, const UsbLocation& usb) const override;
    std::string AssetTagOf(const std::string& path, const UsbLocation& usb) const override;
    // The labels now.
    std::vector<DeviceLabel> Labels() const;
    // A name given while runs go on, and its tag when it has one: they win
    // over the files' for that calculator.
    void GiveName(const DeviceLabel& label, const DeviceLabel& assetTag);

    ~CSystemDeviceSource() override;
    CSystemDeviceSource(const CSystemDeviceSource&) = delete;
    CSystemDeviceSource& operator=(const CSystemDeviceSource&) = delete;

private:
    Message DescribeSearch() const;

    DeviceChoice m_choice;
    DecisionLog m_decisions;
    mutable std::mutex m_snapshotMutex;   // also over m_choice's labels
    std::vector<std::string> m_snapshot;     // taken at index 0 of each listing
    std::unique_ptr<CDeviceWatch> m_watch;   // made by the first DevicesChanged
    std::chrono::steady_clock::time_point m_lastUnwatchedLook{};
};

// Every path offered for `choice`, from one look at the system: the listed
// paths, then what is found connected.
std::vector<std::string> ListChosenDevicePaths(const DeviceChoice& choice, const DecisionLog& decisions = {});

// Where calculators are looked for when `choice` names none: every way to
// name one, with an example.
Message NothingConfiguredHint();
