// SPDX-License-Identifier: GPL-3.0-or-later
// A whole update run against a calculator whose replies the fuzz input bends:
// the simulated calculator answers correctly, and before every read the
// input decides whether the reply passes, has a byte changed, is replaced by
// raw input bytes, or the link fails. Whatever arrives, the run must end
// with nothing read or written outside its buffers and nothing left behind.
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

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

class FuzzedCalculatorChannel : public CUsbChannel {
public:
    FuzzedCalculatorChannel(InputBytes& input, zsim::Options options) : m_input(input), m_calc(options) {}

    int Open(const char*) override { return ChannelOk; }
    int Write(const uint8_t* buffer, uint32_t length) override
    {
        m_calc.Receive(buffer, length);
        const std::vector<uint8_t> out = m_calc.TakeOutput();
        m_pending.insert(m_pending.end(), out.begin(), out.end());
        return ChannelOk;
    }
    int Read(uint8_t* buffer, uint32_t length, uint32_t& count) override
    {
        count = 0;
        const uint8_t op = m_input.Empty() ? 0 : m_input.Next();
        switch (op % 8) {
        case 5: return IoError;
        case 6:   // the reply is whatever the input says
            for (; count < length; ++count) {
                if (m_input.Empty()) {
                    return IoError;
                }
                buffer[count] = m_input.Next();
            }
            return ChannelOk;
        default: break;
        }
        if (m_pending.size() < length) {
            return IoError;   // a silent calculator would keep the run waiting for ever
        }
        for (; count < length; ++count) {
            buffer[count] = m_pending.front();
            m_pending.pop_front();
        }
        if (op % 8 == 7) {
            buffer[m_input.Next() % length] ^= static_cast<uint8_t>(m_input.Next() | 1);
        }
        return ChannelOk;
    }

private:
    InputBytes& m_input;
    zsim::Calculator m_calc;
    std::deque<uint8_t> m_pending;
};


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
        {"f"}, [&] { return std::make_unique<FuzzedCalculatorChannel>(input, options); }, "the fuzzed calculator");
    CClaimedDeviceList claimed;
    UpdateRunInputs inputs;
    inputs.baseDir = g_baseDir;
    inputs.devices = &devices;
    inputs.claimed = &claimed;
    inputs.port = &port;
    const UpdateOutcome outcome = RunUpdate(inputs);
    const UpdateResult result = outcome.result;
    if (result < Success || result > AlreadyCurrent || claimed.m_claimedCount != 0 ||
        (result != Success) == outcome.reason.empty()) {
        std::abort();
    }
    return 0;
}
