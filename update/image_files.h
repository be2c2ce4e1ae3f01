#pragma once
// The two image files of the base directory and their scratch copies.
#include <string>

// The base directory: empty, or the image directory followed by "/". Set once
// at start-up; an image path is this text followed by the file name.
extern std::string g_strBaseDir;

inline constexpr const char* kStubFileName = "UpdateExe.bin";
inline constexpr const char* kOsImageFileName = "UpdateCode.bin";
