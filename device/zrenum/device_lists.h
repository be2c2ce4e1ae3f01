// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the enumeration library offers, worked out from its two environment
// variables:
//   ZENTRIX_DEVICES  device paths separated by ';' (empty entries skipped),
//                    offered first, in order;
//   ZENTRIX_USB_IDS  USB "vvvv:pppp" hex pairs separated by ','; matching
//                    devices follow as "usb:BUS:ADDRESS" (decimal), ordered
//                    by bus and address. Malformed entries are skipped.
// Everything here is free of side effects; the USB bus is reached only
// through the scan function handed in.
#include <cstdint>
#include <string>
#include <vector>

struct UsbId {
    uint16_t vendor = 0;
    uint16_t product = 0;
};

std::vector<std::string> SplitDevicePaths(const char* text);
std::vector<UsbId> ParseUsbIds(const char* text);
std::string FormatUsbPath(uint8_t bus, uint8_t address);

// Lists the paths of the USB devices that match one of `ids`, in a stable
// order (by bus, then address).
using UsbScan = std::vector<std::string> (*)(const std::vector<UsbId>& ids);

// One step of the enumeration: the device at `index` is written to `buf`, and
// the index after it is returned. -1 for a negative index, for no buffer, and
// past the end.
// A path that does not fit `size` bytes with its zero byte is handed out as
// the empty path: never cut (a cut path could name another device) and never
// skipped (the caller would take the next device for the one it was given).
// The empty path names no file, so opening it fails and the caller's run
// fails with it. `scan` is called only when the index reaches
// past the listed paths and at least one well-formed USB ID is given.
int EnumerateDevices(int index, char* buf, int size, const char* devicesVar, const char* usbIdsVar,
                     UsbScan scan);
// The same step over lists already worked out: `paths` first, then the USB
// devices `scan` finds for `ids` (asked only when `ids` is not empty).
int EnumerateListed(int index, char* buf, int size, const std::vector<std::string>& paths,
                    const std::vector<UsbId>& ids, UsbScan scan);

// Every entry the step above would hand out, from one scan.
std::vector<std::string> ListAll(const std::vector<std::string>& paths, const std::vector<UsbId>& ids, UsbScan scan);

// Writes `entries` into `buf` one after another, each ended by a zero byte,
// and returns the bytes that takes; when that is more than `size`, nothing
// usable was written (the caller asks again with that many bytes).
int PutAllEntries(char* buf, int size, const std::vector<std::string>& entries);

// The `count` paths of `paths` (a null array when `count` is 0), empty ones
// skipped as ZENTRIX_DEVICES skips them.
std::vector<std::string> PathsFromArray(const char* const* paths, int count);

// Hands out `entries[index]` as EnumerateDevices does (an entry that does not
// fit is the empty path) and returns the next index; -1 past the end, for a
// negative index and for no buffer.
int OfferEntry(int index, char* buf, int size, const std::vector<std::string>& entries);
