// SPDX-License-Identifier: GPL-3.0-or-later
#include "update_scenario.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "update/image_files.h"

namespace fs = std::filesystem;

namespace {

// The open descriptors and what each leads to.
std::map<std::string, std::string> OpenDescriptors()
{
    std::map<std::string, std::string> open;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code gone;   // the iterator's own descriptor is gone by now
        open[entry.path().filename().string()] = fs::read_symlink(entry.path(), gone).string();
    }
    return open;
}

// The descriptors of `now` that `before` did not have, as "fd -> target".
std::string NewDescriptors(const std::map<std::string, std::string>& before,
                           const std::map<std::string, std::string>& now)
{
    std::string added;
    for (const auto& [fd, target] : now) {
        const auto was = before.find(fd);
        if (was == before.end() || was->second != target) {
            added += " " + fd + " -> " + target;
        }
    }
    return added;
}

std::string Hex2(uint8_t b)
{
    const char* digits = "0123456789ABCDEF";
    return std::string{digits[b >> 4], digits[b & 15]};
}

std::string NameOf(const std::vector<uint8_t>& p)
{
    if (p.size() < 3) {
        return "short:" + std::to_string(p.size());
    }
    const std::string sub(p.begin() + 1, p.begin() + 3);
    switch (p[0]) {
    case 0x05: return "Check";
    case 0x03: return "RoleSwap";
    case 0x06: return sub == "00" ? "Ack" : sub == "02" ? "DevInfo" : "Ack" + sub;
    case 0x15: return "Nak" + sub;
    case 0x18: return sub == "00" ? "Terminate" : "Terminate" + sub;
    case 0x01: return "Cmd" + sub;
    case 0x02: {
        const std::string block = p.size() >= 16 ? std::string(p.begin() + 12, p.begin() + 16) : "?";
        return "Data" + sub + "#" + std::to_string(std::strtol(block.c_str(), nullptr, 16));
    }
    default: return "type" + Hex2(p[0]);
    }
}

}  // namespace

std::unique_ptr<CUsbChannel> TestDevices::NewChannel()
{
    auto channel = std::make_unique<CUsbChannel>();
    channel->m_closePauseMs = 0;
    return channel;
}

void UpdateScenario::SetUp()
{
    char base[] = "/tmp/zx-run-images-XXXXXX";
    char temp[] = "/tmp/zx-run-temp-XXXXXX";
    m_base = mkdtemp(base);
    m_temp = mkdtemp(temp);
    setenv("TMPDIR", m_temp.c_str(), 1);
    m_inputs.baseDir = m_base + "/";
    m_inputs.devices = &m_devices;
    m_inputs.claimed = &m_claimed;
    m_inputs.port = &m_ui;
    WriteStub({0x00, 0x5C, 0x41});
    WriteOsImage(kDefaultOsSize);
    m_fdsBefore = OpenDescriptors();
}

void UpdateScenario::TearDown()
{
    // Nothing of a run outlives it.
    EXPECT_EQ(m_claimed.m_claimedCount, 0);
    EXPECT_TRUE(m_claimed.m_claimedPaths.empty());
    EXPECT_EQ(m_ui.openWindows, 0);
    EXPECT_TRUE(fs::is_empty(m_temp)) << "scratch files left in " << m_temp;
    const std::map<std::string, std::string> now = OpenDescriptors();
    EXPECT_EQ(now.size(), m_fdsBefore.size()) << "left open:" << NewDescriptors(m_fdsBefore, now);
    unsetenv("TMPDIR");
    fs::remove_all(m_base);
    fs::remove_all(m_temp);
}

void UpdateScenario::WriteFile(const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::ofstream(m_base + "/" + name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> UpdateScenario::ReadFile(const std::string& name) const
{
    std::ifstream in(m_base + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void UpdateScenario::WriteStub(const std::vector<uint8_t>& bytes)
{
    WriteFile(kStubFileName, bytes);
}

void UpdateScenario::WriteOsImage(size_t size, const std::string& model, const std::string& version)
{
    std::vector<uint8_t> image(size);
    std::mt19937 rng(static_cast<unsigned>(size));
    for (auto& b : image) {
        b = static_cast<uint8_t>(rng());
    }
    std::copy(model.begin(), model.end(), image.begin() + kOsHeaderOffset);
    std::copy(version.begin(), version.end(), image.begin() + kOsHeaderOffset + 4);
    WriteFile(kOsImageFileName, image);
}

UpdateResult UpdateScenario::Run(const zsim::Options& options, zsim::RunRecord& record)
{
    zsim::PtyCalculator calculator(options);
    EXPECT_TRUE(calculator.Start());
    UseDevice(calculator.SlavePath());
    const UpdateResult result = RunOnce();
    calculator.WaitForRuns(1, 5000);
    const auto runs = calculator.Runs();
    record = runs.empty() ? zsim::RunRecord{} : runs.front();
    return result;
}

void UpdateScenario::UseDevice(const std::string& path)
{
    UseDevices(path.empty() ? std::vector<std::string>{} : std::vector<std::string>{path});
}

void UpdateScenario::UseDevices(std::vector<std::string> paths)
{
    DeviceChoice choice;
    choice.paths = std::move(paths);
    m_devices.SetChoice(std::move(choice));
}

UpdateResult UpdateScenario::RunOnce()
{
    const UpdateOutcome outcome = RunUpdate(m_inputs);
    m_reason = outcome.reason.English();
    m_facts = outcome.facts;
    // Every ending but a success (or a check) says why.
    EXPECT_EQ(outcome.result == Success || outcome.result == Checked, outcome.reason.Empty()) << m_reason;
    return outcome.result;
}

std::vector<std::string> UpdateScenario::Names(const zsim::RunRecord& record)
{
    std::vector<std::string> names;
    for (const zsim::Packet& p : record.log) {
        std::string name = NameOf(p.bytes);
        if (!p.fromPc && name.rfind("Data", 0) == 0) {
            name.erase(name.find('#'));   // the calculator's own numbering is not ours to check
        }
        names.push_back((p.fromPc ? "pc " : "calc ") + name);
    }
    return names;
}

std::vector<uint8_t> UpdateScenario::Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> UpdateScenario::PcPacket(const zsim::RunRecord& record, const std::string& name)
{
    for (const zsim::Packet& p : record.log) {
        if (p.fromPc && NameOf(p.bytes).rfind(name, 0) == 0) {
            return p.bytes;
        }
    }
    return {};
}

namespace wire {

void Handshake(std::vector<std::string>& log, bool probeAck, bool identityAck)
{
    log.insert(log.end(), {"pc Check", "calc Ack", "pc Cmd07", probeAck ? "calc Ack" : "calc Nak04",
                           "pc Cmd54", identityAck ? "calc Ack" : "calc Nak04"});
}

void IdentityStream(std::vector<std::string>& log, const std::string& subtype, int packets)
{
    for (int n = 0; n < packets; ++n) {
        log.push_back("calc Data" + subtype);
        log.push_back("pc Ack");
    }
    log.push_back("calc RoleSwap");
}

void Upload(std::vector<std::string>& log, const std::string& subtype, int blocks, bool stub)
{
    log.push_back("pc Cmd" + subtype);
    log.push_back("calc Ack");
    for (int k = 1; k <= blocks; ++k) {
        log.push_back("pc Data" + subtype + "#" + std::to_string(k));
        log.push_back(stub && k == blocks ? "calc Ack03" : "calc Ack");
    }
    if (stub) {
        log.push_back("calc Ack");
    }
}

}  // namespace wire
