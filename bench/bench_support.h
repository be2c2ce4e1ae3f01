// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the benchmarks share: a calculator stand-in on a pty that acks every
// packet (after a delay, for a link like a real one), the packets of an OS
// image as the update run sends them, and the timing helpers.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "protocol/catalogue.h"
#include "protocol/codec.h"

namespace bench {

constexpr uint32_t kBlockSize = 1024;

// Every operator new of a benchmark built with counting_new.cpp: how many
// on all threads, and on this thread.
extern std::atomic<long> g_news;
extern thread_local long t_news;

// Answers every packet on a pty's master side with an Ack: reads the type,
// subtype and flag, the data that a set flag announces, and a command's
// trailing zero byte; waits `delay` before each answer.
class CAckResponder {
public:
    explicit CAckResponder(int master, std::chrono::microseconds delay = {})
        : m_master(master), m_delay(delay), m_thread([this] { Serve(); })
    {
    }
    ~CAckResponder()
    {
        m_stop = true;
        m_thread.join();
    }
    CAckResponder(const CAckResponder&) = delete;
    CAckResponder& operator=(const CAckResponder&) = delete;

private:
    bool ReadExactly(uint8_t* p, size_t n)
    {
        while (n > 0) {
            pollfd pfd{m_master, POLLIN, 0};
            if (::poll(&pfd, 1, 50) <= 0) {
                if (m_stop) {
                    return false;
                }
                continue;
            }
            const ssize_t got = ::read(m_master, p, n);
            if (got <= 0) {
                return false;
            }
            p += got;
            n -= static_cast<size_t>(got);
        }
        return true;
    }
    void Serve()
    {
        uint8_t buf[4096];
        while (!m_stop) {
            if (!ReadExactly(buf, 4)) {
                return;
            }
            if (buf[3] == '1') {
                uint16_t size = 0;
                if (!ReadExactly(buf + 4, 4) || ParseHex16(reinterpret_cast<char*>(buf + 4), size) != 1 ||
                    !ReadExactly(buf + 8, size + 2u)) {
                    return;
                }
            } else if (!ReadExactly(buf + 4, 2)) {
                return;
            }
            if (buf[0] == Command && !ReadExactly(buf, 1)) {
                return;
            }
            if (m_delay.count() > 0) {
                std::this_thread::sleep_for(m_delay);
            }
            if (::write(m_master, PKT_ACK.bytes(), PKT_ACK.length) != 6) {
                return;
            }
        }
    }

    int m_master;
    std::chrono::microseconds m_delay;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The OS-image phase's packets for `image` in 1024-byte blocks: the
// announcement, every block, the tail check.
inline std::vector<std::vector<uint8_t>> ImagePackets(const std::vector<uint8_t>& image)
{
    std::vector<std::vector<uint8_t>> packets;
    uint8_t packet[kPacketBufferSize];
    uint32_t n = FillCmd57(packet, static_cast<uint32_t>(image.size()));
    packets.emplace_back(packet, packet + n);
    const auto blocks = static_cast<uint16_t>(image.size() / kBlockSize);
    PrepareDataSeries(packet, TPL_DATA_57.bytes(), blocks);
    uint32_t sum = 0;
    for (uint16_t k = 1; k <= blocks; ++k) {
        const uint8_t* block = image.data() + (k - 1) * kBlockSize;
        if (k > 64) {
            for (uint32_t i = 0; i < kBlockSize; ++i) {
                sum -= block[i];
            }
        }
        n = BuildDataPacket(packet, k, block, kBlockSize);
        packets.emplace_back(packet, packet + n);
    }
    n = FillCmd58(packet, static_cast<uint32_t>(image.size()), static_cast<uint16_t>(sum));
    packets.emplace_back(packet, packet + n);
    return packets;
}

// Writes an OS image of `size` pseudo-random bytes as `dir`/UpdateCode.bin
// (making `dir`) and returns its bytes.
inline std::vector<uint8_t> WriteBenchImage(const std::filesystem::path& dir, size_t size)
{
    std::filesystem::create_directories(dir);
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    }
    std::ofstream(dir / "UpdateCode.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return image;
}

inline double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// The quickest round of each kind: what other load on the machine adds is
// the same for both and shows least there.
inline double Best(const std::vector<double>& v)
{
    return *std::min_element(v.begin(), v.end());
}

}  // namespace bench
