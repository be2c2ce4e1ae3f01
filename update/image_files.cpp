// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/image_files.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "device/safe_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "update/sha256.h"

namespace {

Message SizeText(uint64_t size)
{
    return Message::Count("%d byte", "%d bytes", size, {std::to_string(size)});
}

// Refuses an image that cannot be numbered even in 1024-byte blocks.
bool FitsInBlocks(const ImageSnapshot& image, const std::string& path, Message& problem)
{
    if (BlockCount(image.size, 1024) <= kMaxBlockCount) {
        return true;
    }
    problem = Message(N_("image %s is too large: %s, more than %d blocks of 1024 bytes"),
                         {path, SizeText(image.size), std::to_string(kMaxBlockCount)});
    return false;
}

// Copies one image; an image too large to send is refused before it is
// copied, and the copy is measured again (the file may have grown meanwhile).
bool Snapshot(const std::string& path, const std::string& tempDir, ImageSnapshot& image,
              Message& problem)
{
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) {
        image.size = std::filesystem::file_size(path, error);
        if (!error && !FitsInBlocks(image, path, problem)) {
            return false;
        }
    }
    if (!image.copy.Make(path, tempDir, problem)) {
        return false;
    }
    if (!image.copy.QuerySize(image.size)) {
        problem = Message(N_("cannot measure the scratch copy of %s"), {path});
        return false;
    }
    return FitsInBlocks(image, path, problem);
}

}  // namespace

std::string ImagePath(const std::string& baseDir, const char* fileName)
{
    return baseDir + fileName;
}

int64_t BlockCount(uint64_t size, uint32_t blockSize)
{
    return static_cast<int64_t>((size + blockSize - 1) / blockSize);
}

bool TakeImageSnapshots(const std::string& baseDir, const std::string& tempDir,
                        ImageSnapshots& images, Message& problem)
{
    const std::string stubPath = ImagePath(baseDir, kStubFileName);
    const std::string osPath = ImagePath(baseDir, kOsImageFileName);
    if (!Snapshot(stubPath, tempDir, images.stub, problem) || !Snapshot(osPath, tempDir, images.os, problem)) {
        return false;
    }
    if (images.os.size < kOsHeaderEnd) {
        problem = Message(N_("OS image %s is too short: %s, its header ends at byte %d"),
                             {osPath, SizeText(images.os.size), std::to_string(kOsHeaderEnd)});
        return false;
    }
    for (ImageSnapshot* image : {&images.stub, &images.os}) {
        image->sha256 = FingerprintOf(*image);
        if (image->sha256.empty()) {
            problem = Message(N_("%s cannot be read back from its scratch copy"),
                              {image == &images.os ? osPath : stubPath});
            return false;
        }
    }
    return true;
}

std::string FingerprintOf(ImageSnapshot& image)
{
    uint8_t chunk[16 * 1024];
    CSha256 sha;
    uint64_t left = image.size;
    if (!image.copy.Seek(0)) {
        return {};
    }
    while (left > 0) {
        const auto length = static_cast<uint32_t>(std::min<uint64_t>(left, sizeof chunk));
        if (!image.copy.ReadExactly(chunk, length)) {
            return {};
        }
        sha.Update(chunk, length);
        left -= length;
    }
    return sha.HexDigest();
}

Message PinProblem(const std::string& baseDir, const ImageSnapshot& os, const std::string& pinnedSha256)
{
    if (pinnedSha256.empty() || os.sha256 == pinnedSha256) {
        return {};
    }
    return Message(N_("the OS image %s has the fingerprint SHA-256 %s, not the pinned %s; nothing was sent: put "
                      "the pinned image in its place, or pin this one (--image-sha256, or image-sha256 = in the "
                      "configuration file)"),
                   {ImagePath(baseDir, kOsImageFileName), os.sha256, pinnedSha256});
}

bool CheckImageFolder(const std::string& baseDir, const std::string& tempDir, Message& problem,
                      const std::string& pinnedSha256)
{
    ImageSnapshots images;
    if (!TakeImageSnapshots(baseDir, tempDir, images, problem)) {
        return false;
    }
    uint8_t header[kOsHeaderLength] = {};
    if (!ReadOsImageHeader(images.os, header, kOsHeaderLength)) {
        problem = Message(N_("the OS image header cannot be read from its scratch copy"));
        return false;
    }
    const char* version = reinterpret_cast<const char*>(header + kModelCodeLength);
    if (!HasVersionPoints(version)) {
        problem = Message(N_("the OS image's version \"%s\" cannot be read"),
                          {SafeText(std::string_view(version, 10))});
        return false;
    }
    problem = PinProblem(baseDir, images.os, pinnedSha256);
    return problem.Empty();
}

bool HasVersionPoints(const char* text)
{
    return text[2] == '.' && text[5] == '.';
}

bool ReadOsImageHeader(ImageSnapshot& os, uint8_t* block, uint32_t byteCount)
{
    return os.copy.Seek(kOsHeaderOffset) && os.copy.ReadExactly(block, byteCount);
}

std::string VersionFieldText(const uint8_t* field)
{
    constexpr size_t kVersionFieldLength = 10;
    const auto* text = reinterpret_cast<const char*>(field);
    return std::string(text, std::find(text, text + kVersionFieldLength, '\0') - text);
}

std::string OsImageVersion(const std::string& baseDir)
{
    uint8_t header[kOsHeaderLength] = {};
    if (!ReadImageFileAt(ImagePath(baseDir, kOsImageFileName), kOsHeaderOffset, header, sizeof header)) {
        return {};
    }
    return VersionFieldText(header + kModelCodeLength);
}
