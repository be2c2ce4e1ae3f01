#pragma once
// The two image files of the base directory and their scratch copies: every
// use of an image reads a fresh private copy taken in the temporary directory.
#include <cstdint>
#include <memory>
#include <string>

// The base directory: empty, or the image directory followed by "/". Set once
// at start-up; an image path is this text followed by the file name.
extern std::string g_strBaseDir;

inline constexpr const char* kStubFileName = "UpdateExe.bin";
inline constexpr const char* kOsImageFileName = "UpdateCode.bin";

// The OS image header: model code (4 bytes) and version text (10 characters).
constexpr uint32_t kOsHeaderOffset = 0x1001C;
constexpr uint32_t kOsHeaderLength = 14;
constexpr uint32_t kOsHeaderEnd = kOsHeaderOffset + kOsHeaderLength;   // 0x1002A

// Block numbers travel as four hex digits.
constexpr int32_t kMaxBlockCount = 65535;

std::string ImagePath(const char* fileName);

// The number of data packets `size` bytes need at `blockSize` (1024 or 256).
int64_t BlockCount(uint64_t size, uint32_t blockSize);

// True when both image files can be read and the OS image holds its header.
bool ImageFilesUsable();

// A private copy of one image file, made with a unique "qz" name in the
// temporary directory (TMPDIR, else /tmp), mode 0600, and read only through
// the descriptor that created it. The name is removed at once, so the copy
// disappears with the descriptor whatever happens to the process.
class CScratchCopy {
public:
    CScratchCopy() = default;
    ~CScratchCopy() { Discard(); }
    CScratchCopy(const CScratchCopy&) = delete;
    CScratchCopy& operator=(const CScratchCopy&) = delete;

    // Copies the image file `fileName` of the base directory; false when the
    // file cannot be read or the copy cannot be made.
    bool Make(const char* fileName);
    // Size of the copy in bytes.
    bool QuerySize(uint64_t& size) const;
    bool Seek(uint64_t offset);
    // Reads exactly `length` bytes; false on an error or a short file.
    // Reads ahead in large pieces, so a block costs no system call.
    bool ReadExactly(uint8_t* buffer, uint32_t length);
    // Closes the copy (and with it the file).
    void Discard();

private:
    static constexpr uint32_t kReadAhead = 64 * 1024;

    int m_fd = -1;
    std::unique_ptr<uint8_t[]> m_ahead;   // allocated once per copy
    uint32_t m_aheadPos = 0;
    uint32_t m_aheadLength = 0;
};

// Reads `byteCount` bytes (14: model code and version text, or 4: model code)
// of the OS image header from a scratch copy into `block`.
bool ReadOsImageHeader(uint8_t* block, uint32_t byteCount);
