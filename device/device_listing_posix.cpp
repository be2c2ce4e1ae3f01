// SPDX-License-Identifier: GPL-3.0-or-later
// How an offered device is described on Linux: a USB device through libusb
// and sysfs, anything else by whether this user may read and write it.
#include <fcntl.h>
#include <libusb.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "device/device_describe.h"
#include "device/device_path.h"
#include "device/libusb_owners.h"
#include "device/usb_calculator_check.h"
#include "device/usb_location.h"
#include "i18n/message.h"
#include "i18n/text_format.h"

namespace {

// An error of the system's, in its own words.
DeviceProblem SystemProblem(int error)
{
    const DeviceProblemCode code = error == EACCES || error == EPERM ? DeviceProblemCode::PermissionDenied
                                   : error == EBUSY                  ? DeviceProblemCode::Busy
                                   : error == ENOENT || error == ENODEV || error == ENXIO
                                       ? DeviceProblemCode::NoSuchDevice
                                       : DeviceProblemCode::SystemError;
    return {code, Message::Raw(std::strerror(error))};
}

// "BUS-PORT.PORT..." as the kernel names the place; empty when unknown.
std::string PortChain(libusb_device* device)
{
    uint8_t ports[8] = {};
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    if (depth <= 0) {
        return {};
    }
    std::string chain = std::to_string(libusb_get_bus_number(device)) + "-";
    for (int i = 0; i < depth; ++i) {
        chain += (i == 0 ? "" : ".") + std::to_string(ports[i]);
    }
    return chain;
}

void DescribeUsb(ListedDevice& device)
{
    uint8_t bus = 0;
    uint8_t address = 0;
    if (!ParseUsbDevicePath(device.path.c_str(), bus, address)) {
        device.problem = {DeviceProblemCode::NotADevice, Message(N_("not a USB device path"))};
        return;
    }
    libusb_context* rawContext = nullptr;
    if (libusb_init(&rawContext) != 0) {
        device.problem = {DeviceProblemCode::UsbUnavailable, Message(N_("libusb cannot be used"))};
        return;
    }
    LibusbContext context(rawContext);
    libusb_device** rawList = nullptr;
    const ssize_t count = libusb_get_device_list(rawContext, &rawList);
    if (count < 0) {
        device.problem = {DeviceProblemCode::UsbUnavailable, Message(N_("the USB devices cannot be listed"))};
        return;
    }
    LibusbDeviceList list(rawList);
    for (ssize_t i = 0; i < count; ++i) {
        if (libusb_get_bus_number(rawList[i]) != bus || libusb_get_device_address(rawList[i]) != address) {
            continue;
        }
        device.found = true;
        libusb_device_descriptor descriptor = {};
        if (libusb_get_device_descriptor(rawList[i], &descriptor) == 0) {
            device.vendor = descriptor.idVendor;
            device.product = descriptor.idProduct;
        }
        const UsbIdentity identity = ReadUsbIdentity(device.path);
        device.manufacturer = identity.manufacturer;
        device.productName = identity.product;
        device.serialNumber = identity.location.serial;
        device.portChain = PortChain(rawList[i]);
        if (!IsCalculatorLink(rawList[i])) {
            device.problem = {DeviceProblemCode::NotADevice,
                              Message(N_("not a calculator: %s"), {WhatUsbDeviceIs(rawList[i])})};
            return;
        }
        // Whether this user may open it, from the node's permissions: the
        // device is not opened just to be listed.
        char node[32];
        std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", bus, address);
        if (access(node, R_OK | W_OK) == 0) {
            device.mayOpen = true;
        } else {
            device.problem = errno == EACCES || errno == EPERM
                                 ? DeviceProblem{DeviceProblemCode::PermissionDenied, Message(N_("permission denied"))}
                                 : SystemProblem(errno);
        }
        return;
    }
    device.problem = {DeviceProblemCode::NotOnBus, Message(N_("no longer on the bus"))};
}

// Whether another program holds the port: opened without waiting and
// without becoming its controlling terminal, and asked for the lock every
// run of this program takes (a terminal opened exclusively refuses the open
// itself). Closed again at once.
bool HeldByAnother(const char* path)
{
    const int fd = open(path, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return errno == EBUSY;
    }
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EAGAIN);
    close(fd);   // drops the lock if it was had
    return held;
}

// A path names a calculator only when it is a character device (a serial
// port) or a socket (a simulator); whether this user may open it, and
// whether it is free.
void DescribePath(ListedDevice& device)
{
    const char* path = device.path.c_str();
    struct stat info = {};
    if (stat(path, &info) != 0) {
        device.problem = SystemProblem(errno);
        return;
    }
    if (!S_ISCHR(info.st_mode) && !S_ISSOCK(info.st_mode)) {
        device.problem = {DeviceProblemCode::NotADevice, Message(N_("not a device"))};
        return;
    }
    device.kind = S_ISSOCK(info.st_mode) ? DeviceKind::Socket : DeviceKind::SerialPort;
    if (access(path, R_OK | W_OK) != 0) {
        const int error = errno;
        device.problem = SystemProblem(error);
        if (error == EACCES && S_ISCHR(info.st_mode)) {
            device.problem.reason = Message(N_("%s; join the group that owns the port (dialout), then log in again"),
                                            {device.problem.reason});
        }
        return;
    }
    if (S_ISCHR(info.st_mode) && HeldByAnother(path)) {
        device.problem = {DeviceProblemCode::Busy, Message(N_("in use by another program"))};
        return;
    }
    device.mayOpen = true;
}

}  // namespace

void DescribeOfferedDevice(ListedDevice& device)
{
    device.usb = IsUsbDevicePath(device.path.c_str());
    if (device.usb) {
        device.kind = DeviceKind::Usb;
        DescribeUsb(device);
    } else {
        DescribePath(device);
    }
}

namespace {

bool IsCableTty(const std::string& name)
{
    return name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
}

// The entries of `folder` whose names `keep` accepts, in order.
template <typename Keep>
std::vector<std::filesystem::path> EntriesOf(const std::filesystem::path& folder, Keep keep)
{
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (keep(entry.path().filename().string())) {
            found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Where a name leads, following its links (at most a few) by their text.
// Not realpath: a library that stands in for /dev in tests may hand back
// memory the C++ library cannot free.
std::filesystem::path Resolved(std::filesystem::path path)
{
    std::error_code error;
    for (int links = 0; links < 8 && std::filesystem::is_symlink(path, error); ++links) {
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error) {
            break;
        }
        path = (target.is_absolute() ? target : path.parent_path() / target).lexically_normal();
    }
    return path;
}

}  // namespace

std::vector<std::string> ListSerialPorts(const std::string& devRoot)
{
    const std::filesystem::path root(devRoot);
    std::vector<std::string> ports;
    std::vector<std::filesystem::path> named;   // the ports the stable names lead to
    for (const auto& link : EntriesOf(root / "serial" / "by-id", [](const std::string&) { return true; })) {
        const std::filesystem::path port = Resolved(link);
        std::error_code error;
        if (IsCableTty(port.filename().string()) && std::filesystem::exists(port, error)) {
            ports.push_back(link.string());
            named.push_back(port);
        }
    }
    for (const auto& port : EntriesOf(root, IsCableTty)) {
        if (std::find(named.begin(), named.end(), Resolved(port)) == named.end()) {
            ports.push_back(port.string());
        }
    }
    return ports;
}

Message WithUsbAccessRemedy(const ListedDevice& device, const Message& problem)
{
    if (device.problem.code != DeviceProblemCode::PermissionDenied) {
        return problem;
    }
    char vendor[8];
    char product[8];
    std::snprintf(vendor, sizeof vendor, "%04x", device.vendor);
    std::snprintf(product, sizeof product, "%04x", device.product);
    return Message(N_("%s; install the udev rule 60-zentrix-calculator.rules with vvvv = %s and pppp = %s, "
                      "then plug the calculator in again"),
                   {problem, std::string(vendor), std::string(product)});
}
