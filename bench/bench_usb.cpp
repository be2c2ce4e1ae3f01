// SPDX-License-Identifier: GPL-3.0-or-later
// The OS-image phase over an emulated USB calculator (umockdev) against a
// minimal responder, side by side with a bare libusb loop that writes the
// same packets and reads the same 6-byte replies on the same device. Prints
// blocks per second of both, their ratio, and the heap allocations per block
// made on the measuring thread: by the program (operator new) and in all
// (malloc, libusb's own included).
#include <libusb.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <vector>

#include "bench_support.h"
#include "protocol/catalogue.h"
#include "protocol/codec.h"
#include "tests/usb/emulated_usb.h"
#include "quiet_port.h"
#include "update/image_files.h"
#include "update/image_transfer.h"

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);

namespace {

// Only the measuring thread counts: the emulated device's own thread
// allocates as it likes.
thread_local bool t_counting = false;
long g_mallocs = 0;

constexpr size_t kImageSize = 512u << 10;
using bench::Best;
using bench::ImagePackets;
using bench::kBlockSize;
using bench::Seconds;
constexpr int kRounds = 5;

// Answers every packet with an Ack: reads the type, subtype and flag, the
// data a set flag announces, the checksum, and a command's zero byte.
class AckPeer : public zusb::UsbPeer {
public:
    void FromHost(const uint8_t* data, size_t n, std::vector<std::vector<uint8_t>>& replies) override
    {
        m_pending.insert(m_pending.end(), data, data + n);
        for (;;) {
            const size_t length = PacketLength();
            if (length == 0 || m_pending.size() < length) {
                return;
            }
            m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(length));
            replies.emplace_back(PKT_ACK.bytes(), PKT_ACK.bytes() + PKT_ACK.length);
        }
    }

private:
    // Bytes of the packet at the front; 0 while its header is incomplete.
    size_t PacketLength() const
    {
        if (m_pending.size() < 4) {
            return 0;
        }
        const size_t zero = m_pending[0] == Command ? 1 : 0;
        if (m_pending[3] != '1') {
            return 6 + zero;
        }
        uint16_t size = 0;
        if (m_pending.size() < 8 || ParseHex16(reinterpret_cast<const char*>(m_pending.data() + 4), size) != 1) {
            return 0;
        }
        return 8 + size + 2 + zero;
    }

    std::vector<uint8_t> m_pending;
};

struct Counts {
    long news = 0;
    long mallocs = 0;
};

// The update run's OS-image phase through CUsbChannel; returns seconds.
double TimeUpdateRun(const std::string& path, const std::string& imagePath, Counts& counts)
{
    CQuietPort port;
    UpdateRunInputs inputs;
    inputs.port = &port;
    auto channel = std::make_unique<CUsbChannel>();
    channel->m_closePauseMs = 0;
    if (channel->Open(path.c_str()) != ChannelOk) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    CUpdateRun run(inputs, std::move(channel));
    Message problem;
    ImageSnapshot& os = run.m_images.os;
    if (!os.copy.Make(imagePath, "", problem) || !os.copy.QuerySize(os.size)) {
        std::fprintf(stderr, "%s\n", problem.English().c_str());
        std::exit(1);
    }
    run.m_blockSize = kBlockSize;
    run.m_stubBlockCount = 1;
    const long news = bench::t_news;
    const long mallocs = g_mallocs;
    t_counting = true;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = WriteOsImage(run);
    const auto stop = std::chrono::steady_clock::now();
    t_counting = false;
    if (!ok) {
        std::fprintf(stderr, "the OS-image phase failed\n");
        std::exit(1);
    }
    counts = {bench::t_news - news, g_mallocs - mallocs};
    return Seconds(stop - start);
}

// The same packets written and answered with plain libusb bulk transfers,
// read the way the transport reads: whole packets of the endpoint.
double TimeBareLoop(uint8_t address, const std::vector<std::vector<uint8_t>>& packets, Counts& counts)
{
    libusb_context* context = nullptr;
    libusb_device_handle* handle = nullptr;
    if (libusb_init(&context) != 0) {
        std::exit(1);
    }
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(context, &list);
    for (ssize_t i = 0; i < n && handle == nullptr; ++i) {
        if (libusb_get_bus_number(list[i]) == 1 && libusb_get_device_address(list[i]) == address &&
            libusb_open(list[i], &handle) != 0) {
            handle = nullptr;
        }
    }
    libusb_free_device_list(list, 1);
    if (handle == nullptr || libusb_claim_interface(handle, 0) != 0) {
        std::fprintf(stderr, "bare loop: cannot open the device\n");
        std::exit(1);
    }
    uint8_t reply[2048];
    const long news = bench::t_news;
    const long mallocs = g_mallocs;
    t_counting = true;
    const auto start = std::chrono::steady_clock::now();
    for (const auto& p : packets) {
        int done = 0;
        if (libusb_bulk_transfer(handle, 0x01, const_cast<uint8_t*>(p.data()), static_cast<int>(p.size()), &done, 0) != 0) {
            std::exit(1);
        }
        int got = 0;
        while (got < 6) {
            int more = 0;
            if (libusb_bulk_transfer(handle, 0x81, reply, sizeof reply, &more, 0) != 0) {
                std::exit(1);
            }
            got += more;
        }
    }
    const auto stop = std::chrono::steady_clock::now();
    t_counting = false;
    counts = {bench::t_news - news, g_mallocs - mallocs};
    libusb_release_interface(handle, 0);
    libusb_close(handle);
    libusb_exit(context);
    return Seconds(stop - start);
}

}  // namespace

extern "C" void* malloc(size_t size)
{
    if (t_counting) {
        ++g_mallocs;
    }
    return __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size)
{
    if (t_counting) {
        ++g_mallocs;
    }
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* p, size_t size)
{
    if (t_counting) {
        ++g_mallocs;
    }
    return __libc_realloc(p, size);
}

extern "C" void free(void* p)
{
    __libc_free(p);
}

int main(int, char** argv)
{
    if (!zusb::ReexecWithUmockdevPreload(argv)) {
        return 1;
    }
    // The emulated device answers through a socket and a worker thread;
    // coarse timer slack would dominate every round trip.
    prctl(PR_SET_TIMERSLACK, 1UL);

    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("zx-bench-usb-" + std::to_string(::getpid()));
    const std::vector<uint8_t> image = bench::WriteBenchImage(dir, kImageSize);
    const std::string imagePath = (dir / kOsImageFileName).string();
    const auto packets = ImagePackets(image);
    const double blocks = static_cast<double>(kImageSize / kBlockSize);

    std::printf("usb: OS-image phase of a %zu KiB image over an emulated USB device, best of %d interleaved rounds\n",
                kImageSize >> 10, kRounds);
    for (const bool highSpeed : {false, true}) {
        zusb::EmulatedUsbBus bus;
        zusb::DeviceSetup setup;
        setup.highSpeed = highSpeed;
        zusb::EmulatedUsbDevice& device = bus.Plug(setup, std::make_unique<AckPeer>());
        std::vector<double> ours;
        std::vector<double> bare;
        Counts oursCounts;
        Counts bareCounts;
        for (int round = 0; round < kRounds; ++round) {
            ours.push_back(TimeUpdateRun(device.Path(), imagePath, oursCounts));
            bare.push_back(TimeBareLoop(static_cast<uint8_t>(std::stoi(device.Path().substr(6))), packets, bareCounts));
        }
        const double oursRate = blocks / Best(ours);
        const double bareRate = blocks / Best(bare);
        const char* speed = highSpeed ? "high speed (512-byte packets)" : "full speed (64-byte packets)";
        std::printf("usb %s: %.0f blocks/s through the update run, %.0f blocks/s bare libusb loop; "
                    "ratio %.2f (target >= 0.9)\n",
                    speed, oursRate, bareRate, oursRate / bareRate);
        std::printf("usb %s: %.4f heap allocations per block by the program (%ld operator new in %.0f blocks; "
                    "target 0); all mallocs per block %.2f, bare loop %.2f (libusb's own transfers)\n",
                    speed, oursCounts.news / blocks, oursCounts.news, blocks, oursCounts.mallocs / blocks,
                    bareCounts.mallocs / blocks);
    }
    fs::remove_all(dir);
    return 0;
}
