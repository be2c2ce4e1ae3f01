#pragma once
// One update run: the whole conversation with one calculator.
#include <cstdint>

#include "update/update_host.h"

enum UpdateResult : int32_t {
    Success = 0,
    Failed = 1,
    UnsupportedModel = 2,
    AlreadyCurrent = 3,
};

UpdateResult RunUpdate(CUpdateHost& app);
