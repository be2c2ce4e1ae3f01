// SPDX-License-Identifier: GPL-3.0-or-later
// Demo image files and the comparison of received images with files.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

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

// Empty when written, else why not (the system's words).
std::string WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    errno = 0;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) return "cannot create " + path.string() + ": " + std::strerror(errno);
    const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    int error = wrote ? 0 : errno;
    if (std::fclose(file.release()) != 0 && error == 0) error = errno;
    if (!wrote || error != 0) return "cannot write " + path.string() + ": " + std::strerror(error != 0 ? error : EIO);
    return "";
}

bool Fail(std::string* why, std::string text) {
    if (why != nullptr) *why = std::move(text);
    return false;
}

}  // namespace

bool EqualsFile(const std::vector<uint8_t>& received, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return !in.bad() && file == received;
}

bool WriteDemoImages(const std::string& dir, std::array<uint8_t, 4> modelCode, const std::string& version,
                     size_t osSize, size_t stubSize, std::string* why) {
    if (osSize < wire::kImageHeaderEnd) {
        return Fail(why, "an OS image has at least " + std::to_string(wire::kImageHeaderEnd) + " bytes");
    }
    if (version.size() != wire::kImageVersionLength) {
        return Fail(why, "the version text has " + std::to_string(wire::kImageVersionLength) + " characters");
    }
    std::vector<uint8_t> os = Filler(osSize, 0x11);
    std::copy(modelCode.begin(), modelCode.end(), os.begin() + wire::kImageModelOffset);
    std::copy(version.begin(), version.end(), os.begin() + wire::kImageVersionOffset);
    const std::filesystem::path base(dir);
    std::error_code made;
    std::filesystem::create_directories(base, made);
    if (made) return Fail(why, "cannot make the folder: " + made.message());
    const auto stubPath = base / "UpdateExe.bin";
    const auto osPath = base / "UpdateCode.bin";
    std::string problem = WriteFile(stubPath, Filler(stubSize, 0x05));
    if (problem.empty()) problem = WriteFile(osPath, os);
    if (problem.empty()) return true;
    std::error_code ignored;
    std::filesystem::remove(stubPath, ignored);
    std::filesystem::remove(osPath, ignored);
    return Fail(why, problem);
}

}  // namespace zsim
