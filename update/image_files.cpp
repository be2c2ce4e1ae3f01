#include "update/image_files.h"

std::string g_strBaseDir;
