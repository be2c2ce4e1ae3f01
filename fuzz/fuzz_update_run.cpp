// SPDX-License-Identifier: GPL-3.0-or-later
// A whole update run against a calculator whose replies the fuzz input bends:
// the simulated calculator answers correctly, and before every read the
// input decides whether the reply passes, has a byte changed, is replaced by
// raw input bytes, or the link fails. Whatever arrives, the run must end
// with nothing read or written outside its buffers and nothing left behind.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "memory_transport.h"
#include "sim/calculator.h"
#include "quiet_port.h"
#include "update/image_files.h"
#include "update/run_update.h"

namespace {

class InputBytes {
public:
    InputBytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_pos >= m_size; }
    uint8_t Next() { return Empty() ? 0 : m_data[m_pos++]; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// The simulated calculator behind an in-memory link; before every read the
// input decides what happens to the bytes waiting for it.
std::shared_ptr<MemoryLink> FuzzedCalculator(InputBytes& input, zsim::Options options)
{
    auto link = std::make_shared<MemoryLink>();
    auto calculator = std::make_shared<zsim::Calculator>(options);
    link->peer = [calculator](const uint8_t* data, uint32_t length, std::deque<uint8_t>& toHost) {
        calculator->Receive(data, length);
        const std::vector<uint8_t> out = calculator->TakeOutput();
        toHost.insert(toHost.end(), out.begin(), out.end());
    };
    link->beforeRead = [&input](std::deque<uint8_t>& toHost) -> uint32_t {
        const uint8_t op = input.Next();
        switch (op % 8) {
        case 5: return EIO;
        case 6:   // what waits is whatever the input says
            for (uint8_t& byte : toHost) {
                if (input.Empty()) {
                    return EIO;
                }
                byte = input.Next();
            }
            return 0;
        case 7: toHost[input.Next() % toHost.size()] ^= static_cast<uint8_t>(input.Next() | 1); return 0;
        default: return 0;
        }
    };
    return link;
}

void WriteImage(const std::string& path, std::vector<uint8_t> bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// Where LLVMFuzzerInitialize wrote the images.
std::string g_baseDir;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string dir = std::filesystem::temp_directory_path() / "zx-fuzz-update-images";
    std::filesystem::create_directories(dir);
    std::vector<uint8_t> stub(700);
    for (size_t i = 0; i < stub.size(); ++i) {
        stub[i] = static_cast<uint8_t>(i * 7);
    }
    std::vector<uint8_t> image(0x10000 + 1500);
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(i * 13 + 5);
    }
    const char header[] = "365E01.05.0000";
    std::copy(header, header + 14, image.begin() + kOsHeaderOffset);
    WriteImage(dir + "/" + kStubFileName, stub);
    WriteImage(dir + "/" + kOsImageFileName, image);
    g_baseDir = dir + "/";
    unsetenv("ZENTRIX_TRACE");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputBytes input(data, size);
    const uint8_t shape = input.Next();
    zsim::Options options;
    options.ackBlockSizeProbe = (shape & 1) != 0;
    options.ackIdentityRequest = (shape & 2) != 0;
    options.rejectTailChecks = (shape >> 2) & 3;
    CQuietPort port;
    // One calculator whose replies the input bends.
    CListedDeviceSource devices(
        {"f"}, [&] { return MemoryChannel(FuzzedCalculator(input, options)); }, Message::Raw("the fuzzed calculator"));
    CClaimedDeviceList claimed;
    UpdateRunInputs inputs;
    inputs.baseDir = g_baseDir;
    inputs.devices = &devices;
    inputs.claimed = &claimed;
    inputs.port = &port;
    const UpdateOutcome outcome = RunUpdate(inputs);
    const UpdateResult result = outcome.result;
    if (result < Success || result > AlreadyCurrent || claimed.m_claimedCount != 0 ||
        (result != Success) == outcome.reason.Empty()) {
        std::abort();
    }
    return 0;
}
