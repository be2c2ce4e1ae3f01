// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where an update run finds its calculator and the channel it talks through.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "device/device_choice.h"
#include "device/usb_channel.h"

class IDeviceSource {
public:
    virtual ~IDeviceSource() = default;

    // One enumeration step: fills `buffer` with the device path at `index`
    // and returns the index of the next step, or -1 when there is none.
    virtual int32_t EnumerateDevicePath(int32_t index, char* buffer, int32_t size) = 0;

    // The channel object of a new update run, not yet open.
    virtual std::unique_ptr<CUsbChannel> NewChannel() = 0;

    // Where calculators are looked for, for a user who found none there.
    virtual std::string Describe() const = 0;
};

// The calculators the enumeration library offers, on ordinary channels:
// those of the environment's variables, or exactly those of a choice made at
// start-up.
class CSystemDeviceSource : public IDeviceSource {
public:
    CSystemDeviceSource() = default;
    explicit CSystemDeviceSource(DeviceChoice choice) : m_choice(std::move(choice)) {}

    int32_t EnumerateDevicePath(int32_t index, char* buffer, int32_t size) override;
    std::unique_ptr<CUsbChannel> NewChannel() override { return std::make_unique<CUsbChannel>(); }
    // Names what was searched and where that came from.
    std::string Describe() const override;

private:
    std::optional<DeviceChoice> m_choice;
};

// The enumeration step over exactly the paths and USB IDs of `choice`.
int32_t EnumerateChosenDevicePath(const DeviceChoice& choice, int32_t index, char* buffer, int32_t size);

// Where calculators are looked for when `choice` names none: every way to
// name one, with an example.
std::string NothingConfiguredHint();
