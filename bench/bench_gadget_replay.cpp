// SPDX-License-Identifier: GPL-3.0-or-later
// The bare libusb loop beside an update run on a real USB device: replays
// the updater's side of the first session of a trace that zentrix-update
// wrote (ZENTRIX_TRACE) on a calculator plugged in afresh, writing each of
// the updater's writes as one bulk transfer and reading the calculator's
// bytes one endpoint packet at a time, as the transport does, until as
// many have come as the trace holds at that point. Prints the bytes each
// way and the replay's time from the first byte to the last, beside the
// traced run's (which includes the trace's own cost). The system benchmark
// in the booted guest runs it on gadget calculators and compares the time
// each calculator itself measured for the bytes of the run and of the loop.
//
//   bench_gadget_replay TRACE BUS:ADDRESS
#include <libusb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "sim/trace_reader.h"

namespace {

constexpr unsigned kTransferTimeoutMs = 5000;

struct Endpoints {
    uint8_t in = 0;
    uint8_t out = 0;
    int inPacket = 0;   // the IN endpoint's packet size: each read takes one packet
};

// Interface 0's first bulk endpoint each way.
bool FindBulkEndpoints(libusb_device* device, Endpoints& endpoints)
{
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0) {
        return false;
    }
    if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
        const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
        for (int i = 0; i < alt.bNumEndpoints; ++i) {
            const libusb_endpoint_descriptor& e = alt.endpoint[i];
            if ((e.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) {
                continue;
            }
            const bool in = (e.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0;
            uint8_t& slot = in ? endpoints.in : endpoints.out;
            if (slot == 0) {
                slot = e.bEndpointAddress;
                if (in) {
                    endpoints.inPacket = e.wMaxPacketSize & 0x7FF;
                }
            }
        }
    }
    libusb_free_config_descriptor(config);
    return endpoints.in != 0 && endpoints.out != 0 && endpoints.inPacket > 0;
}

libusb_device_handle* OpenAt(libusb_context* context, int bus, int address, Endpoints& endpoints)
{
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(context, &list);
    libusb_device_handle* handle = nullptr;
    for (ssize_t i = 0; i < n && handle == nullptr; ++i) {
        if (libusb_get_bus_number(list[i]) != bus || libusb_get_device_address(list[i]) != address ||
            !FindBulkEndpoints(list[i], endpoints) || libusb_open(list[i], &handle) != 0) {
            continue;
        }
        if (libusb_claim_interface(handle, 0) != 0) {
            libusb_close(handle);
            handle = nullptr;
        }
    }
    if (n >= 0) {
        libusb_free_device_list(list, 1);
    }
    return handle;
}

// The replay itself; false with a line on standard error where the
// calculator left the trace's way (a transfer failed). A calculator that
// restarts at once after its last answer may leave the bus before that
// answer is read: only there is a failed read the end of the replay.
bool Replay(libusb_device_handle* handle, const Endpoints& endpoints, const zsim::RecordedSession& session,
            double& seconds)
{
    std::vector<uint8_t> buffer(16384);
    size_t have = 0;  // the calculator's bytes read and not yet matched to the trace
    const zsim::TraceEvent& last = session.events.back();
    const auto start = std::chrono::steady_clock::now();
    for (const zsim::TraceEvent& event : session.events) {
        const int length = static_cast<int>(event.bytes.size());
        if (event.fromUpdater) {
            int done = 0;
            if (libusb_bulk_transfer(handle, endpoints.out, const_cast<uint8_t*>(event.bytes.data()), length, &done,
                                     kTransferTimeoutMs) != 0 || done != length) {
                std::fprintf(stderr, "bare loop: the write of trace line %d failed\n", event.line);
                return false;
            }
            continue;
        }
        while (have < event.bytes.size()) {
            const size_t packet = static_cast<size_t>(endpoints.inPacket);
            if (buffer.size() - have < packet) {
                std::fprintf(stderr, "bare loop: more of the calculator's bytes than trace line %d holds\n",
                             event.line);
                return false;
            }
            int got = 0;
            const int status = libusb_bulk_transfer(handle, endpoints.in, buffer.data() + have, endpoints.inPacket,
                                                    &got, kTransferTimeoutMs);
            if (status != 0 && &event == &last) {
                std::fprintf(stderr, "bare loop: the calculator's last answer was not read (%s)\n",
                             libusb_error_name(status));
                break;
            }
            if (status != 0) {
                std::fprintf(stderr, "bare loop: no reply at trace line %d (%s)\n", event.line,
                             libusb_error_name(status));
                return false;
            }
            have += static_cast<size_t>(got);
        }
        if (have < event.bytes.size()) {
            break;  // the last answer, not read
        }
        std::memmove(buffer.data(), buffer.data() + length, have - event.bytes.size());
        have -= event.bytes.size();
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int bus = 0;
    int address = 0;
    if (argc != 3 || std::sscanf(argv[2], "%d:%d", &bus, &address) != 2) {
        std::fprintf(stderr, "usage: bench_gadget_replay TRACE BUS:ADDRESS\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    zsim::RecordedSession session;
    std::string error;
    if (!zsim::ReadTraceSession(in, "", session, error) || session.events.empty()) {
        std::fprintf(stderr, "bench_gadget_replay: %s: %s\n", argv[1], error.empty() ? "no bytes" : error.c_str());
        return 1;
    }
    const double traced = static_cast<double>(session.events.back().micros - session.events.front().micros) / 1e6;

    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) {
        std::fprintf(stderr, "bench_gadget_replay: libusb cannot start\n");
        return 1;
    }
    Endpoints endpoints;
    libusb_device_handle* handle = OpenAt(context, bus, address, endpoints);
    double bare = 0;
    const bool ok = handle != nullptr && Replay(handle, endpoints, session, bare);
    if (handle == nullptr) {
        std::fprintf(stderr, "bench_gadget_replay: no calculator to claim at %d:%d\n", bus, address);
    } else {
        libusb_release_interface(handle, 0);
        libusb_close(handle);
    }
    libusb_exit(context);
    if (!ok) {
        return 1;
    }
    std::printf("bare libusb loop: %zu updater bytes and %zu calculator bytes in %.3f s (%.3f s in the traced run)\n",
                session.updaterBytes, session.calculatorBytes, bare, traced);
    return 0;
}
