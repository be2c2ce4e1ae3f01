// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two image files of the base directory and their scratch copies: an
// update run copies each image once, privately, into the temporary directory,
// and reads only that copy, so a file changed on disk meanwhile cannot mix
// into what is checked and sent.
#include <cstdint>
#include "i18n/message.h"
#include <memory>
#include <string>

inline constexpr const char* kStubFileName = "UpdateExe.bin";
inline constexpr const char* kOsImageFileName = "UpdateCode.bin";

// The OS image header: model code (4 bytes) and version text (10 characters),
// the same two fields a calculator reports of itself.
constexpr uint32_t kModelCodeLength = 4;
constexpr uint32_t kOsHeaderOffset = 0x1001C;
constexpr uint32_t kOsHeaderLength = 14;
constexpr uint32_t kOsHeaderEnd = kOsHeaderOffset + kOsHeaderLength;   // 0x1002A

// Block numbers travel as four hex digits.
constexpr int32_t kMaxBlockCount = 65535;

// An image path: the base directory (empty, or ending in "/") followed
// directly by the file name.
std::string ImagePath(const std::string& baseDir, const char* fileName);

// The bytes of a 10-character version field up to its first NUL, as given.
std::string VersionFieldText(const uint8_t* field);

// A version field (10 characters) is well-formed when it has its points
// where "01.04.0000" has them.
bool HasVersionPoints(const char* text);

// The OS image's version in `baseDir`'s OS image file, as its header gives
// it; empty when it cannot be read (or is no regular file).
std::string OsImageVersion(const std::string& baseDir);

// Reads `length` bytes at `offset` of the image file at `path`, never
// waiting: false when it is not a regular file (a FIFO is not waited on),
// cannot be read or is shorter.
bool ReadImageFileAt(const std::string& path, uint64_t offset, uint8_t* buffer, uint32_t length);

// The temporary directory for scratch copies: `configured` when not empty,
// else TMPDIR, else /tmp (on Windows: the user's temporary directory,
// GetTempPath).
std::string ScratchDirectory(const std::string& configured);

// The number of data packets `size` bytes need at `blockSize` (1024 or 256).
int64_t BlockCount(uint64_t size, uint32_t blockSize);

// A private copy of one image file, made with a unique "qz" name in the
// temporary directory and read only through the descriptor or handle that
// created it. On Linux the file has mode 0600 and its name is removed at
// once; on Windows it is opened exclusively (no sharing) and deleted on
// close. Either way the copy disappears with the descriptor or handle,
// whatever happens to the process.
//
// Every copy reads at its own position, so the runs of one session share
// one copy made once: each run holds a reader (ShareFrom) on the session's
// copy, and reads of several runs at once never move each other's place.
class CScratchCopy {
public:
    CScratchCopy() = default;
    ~CScratchCopy() { Discard(); }
    CScratchCopy(const CScratchCopy&) = delete;
    CScratchCopy& operator=(const CScratchCopy&) = delete;

    // Copies the regular file `path` into `tempDir`; false with `problem`
    // telling why when the file cannot be read or the copy cannot be made.
    bool Make(const std::string& path, const std::string& tempDir, Message& problem);
    // Reads the copy `session` made, at a position of its own; the session's
    // copy must outlive this reader.
    void ShareFrom(const CScratchCopy& session);
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

    // The platform's part: reads up to `length` bytes at `m_offset` (fewer
    // only at the end of the file) without moving any shared position; the
    // count, or -1 on an error.
    int64_t ReadChunk(uint8_t* buffer, uint32_t length);
    // Closes the file when this copy made it.
    void CloseFile();

    // The open copy: a descriptor, or a file handle on Windows.
    static constexpr intptr_t kNoFile = -1;
    intptr_t m_file = kNoFile;
    bool m_owner = false;      // this copy made the file (a reader only reads it)
    uint64_t m_offset = 0;     // where the next chunk is read
    std::unique_ptr<uint8_t[]> m_ahead;   // allocated once per copy
    uint32_t m_aheadPos = 0;
    uint32_t m_aheadLength = 0;
};

// One image of a run: its private copy and its size.
struct ImageSnapshot {
    CScratchCopy copy;
    uint64_t size = 0;
    std::string sha256;   // the copy's fingerprint, 64 lower-case hex digits
};

// Both images of a run, copied once before any calculator is touched.
struct ImageSnapshots {
    ImageSnapshot stub;
    ImageSnapshot os;

    // Readers on the images a session copied (see CScratchCopy::ShareFrom).
    void ShareFrom(const ImageSnapshots& session)
    {
        stub.copy.ShareFrom(session.stub.copy);
        stub.size = session.stub.size;
        stub.sha256 = session.stub.sha256;
        os.copy.ShareFrom(session.os.copy);
        os.size = session.os.size;
        os.sha256 = session.os.sha256;
    }
};

// What is known of an image file without reading it: enough to tell that it
// changed (or was replaced by another file) between two looks.
struct ImageFileState {
    uint64_t size = 0;
    int64_t modifiedNs = 0;   // last modification, ns since the epoch
    uint64_t device = 0;      // with `file`: which file the name leads to
    uint64_t file = 0;
    bool operator==(const ImageFileState&) const = default;
};

// Looks at the file `path` leads to; false when there is none to look at.
bool QueryImageFileState(const std::string& path, ImageFileState& state);
// The time now on the clock file modification times are given in.
int64_t FileClockNowNs();

// The SHA-256 of a snapshot's copy, read from its start; empty when the copy
// cannot be read whole.
std::string FingerprintOf(ImageSnapshot& image);

// Copies both image files of `baseDir`, takes their fingerprints, and checks what can be checked before
// the block size is known: both are regular files, the OS image holds its
// header, and each fits in 65,535 blocks of 1024 bytes. False with `problem`
// telling why otherwise.
bool TakeImageSnapshots(const std::string& baseDir, const std::string& tempDir,
                        ImageSnapshots& images, Message& problem);

// Everything about the images of `baseDir` that can be known before a
// calculator is opened: what TakeImageSnapshots checks (through a copy of
// them into `tempDir` that is discarded at once) and the OS image's version
// text, and, when `pinnedSha256` is not empty, that the OS image has that
// fingerprint. False with `problem` telling why otherwise.
bool CheckImageFolder(const std::string& baseDir, const std::string& tempDir, Message& problem,
                      const std::string& pinnedSha256 = {});
// Why an OS image whose fingerprint is not `pinnedSha256` is refused; empty
// when it is (or nothing is pinned).
Message PinProblem(const std::string& baseDir, const ImageSnapshot& os, const std::string& pinnedSha256);

// Reads `byteCount` bytes (14: model code and version text, or 4: model code)
// of the OS image header from its snapshot into `block`.
bool ReadOsImageHeader(ImageSnapshot& os, uint8_t* block, uint32_t byteCount);
