// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fixture for whole update runs against the simulated calculator on a pty:
// its own image directory and TMPDIR, a recording front end, and checks that
// nothing is left behind.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "recording_front_end.h"
#include "sim/calculator.h"
#include "update/run_update.h"

// The system's calculators, on channels that do not pause after closing
// (tests run many runs).
class TestDevices : public CSystemDeviceSource {
public:
    std::unique_ptr<CUsbChannel> NewChannel() override;
};

class UpdateScenario : public ::testing::Test {
protected:
    // The smallest OS images hold their header at 0x1001C..0x10029; this one
    // ends with a short block at either block size.
    static constexpr size_t kDefaultOsSize = 0x10000 + 0x400 + 3;

    void SetUp() override;
    void TearDown() override;

    // Images: a stub of the given bytes; an OS image of `size` bytes whose
    // header carries `model` and `version`, the rest pseudo-random.
    void WriteStub(const std::vector<uint8_t>& bytes);
    void WriteOsImage(size_t size, const std::string& model = "365E",
                      const std::string& version = "01.05.0000");
    void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> ReadFile(const std::string& name) const;

    // One update run against a calculator with `options`; `record` receives
    // what the calculator saw (empty when it saw no run). The reason of the
    // run is left in m_reason.
    UpdateResult Run(const zsim::Options& options, zsim::RunRecord& record);
    // The run looks for the calculator at `path` alone; none when empty.
    void UseDevice(const std::string& path);
    // The run (or set) looks for the calculators at `paths`, in order.
    void UseDevices(std::vector<std::string> paths);
    // One update run with the calculators given to UseDevice as they are.
    UpdateResult RunOnce();

    // Packet names in wire order: "pc Check", "calc Ack", "pc Data57#65" ...
    static std::vector<std::string> Names(const zsim::RunRecord& record);
    static std::vector<uint8_t> Bytes(const std::string& text);
    // The first packet of the record from the PC whose name starts with `name`.
    static std::vector<uint8_t> PcPacket(const zsim::RunRecord& record, const std::string& name);

    std::string m_base;
    std::string m_temp;
    RecordingFrontEnd m_ui;
    TestDevices m_devices;
    CClaimedDeviceList m_claimed;
    UpdateRunInputs m_inputs;
    std::string m_reason;
    UpdateFacts m_facts;   // of the last run
    std::map<std::string, std::string> m_fdsBefore;   // descriptor -> what it leads to
};

// The packets of the parts of a complete run, for building expected logs.
namespace wire {
void Handshake(std::vector<std::string>& log, bool probeAck, bool identityAck);
void IdentityStream(std::vector<std::string>& log, const std::string& subtype, int packets = 256);
void Upload(std::vector<std::string>& log, const std::string& subtype, int blocks, bool stub);
}  // namespace wire
