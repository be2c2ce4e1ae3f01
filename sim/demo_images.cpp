// SPDX-License-Identifier: GPL-3.0-or-later
// Demo image files and the comparison of received images with files.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/calculator.h"
#include "sim/wire.h"

namespace zsim {
namespace {

// Deterministic filler that walks through every byte value (37 is odd, so
// 256 consecutive positions give 256 different bytes), starting with bytes
// that need escaping so even a tiny file exercises it.
std::vector<uint8_t> Filler(size_t size, uint8_t seed) {
    static constexpr uint8_t kLead[] = {0x00, 0x5C, 0x1F, 0x41, 0x5C, 0x20};
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = i < sizeof kLead ? kLead[i] : static_cast<uint8_t>(i * 37 + (i >> 8) + seed);
    }
    return bytes;
}

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

bool EqualsFile(const std::vector<uint8_t>& received, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return !in.bad() && file == received;
}

bool WriteDemoImages(const std::string& dir, std::array<uint8_t, 4> modelCode, const std::string& version,
                     size_t osSize, size_t stubSize) {
    if (osSize < wire::kImageHeaderEnd || version.size() != wire::kImageVersionLength) return false;
    std::vector<uint8_t> os = Filler(osSize, 0x11);
    std::copy(modelCode.begin(), modelCode.end(), os.begin() + wire::kImageModelOffset);
    std::copy(version.begin(), version.end(), os.begin() + wire::kImageVersionOffset);
    const std::filesystem::path base(dir);
    const auto stubPath = base / "UpdateExe.bin";
    const auto osPath = base / "UpdateCode.bin";
    if (WriteFile(stubPath, Filler(stubSize, 0x05)) && WriteFile(osPath, os)) return true;
    std::error_code ignored;
    std::filesystem::remove(stubPath, ignored);
    std::filesystem::remove(osPath, ignored);
    return false;
}

}  // namespace zsim
