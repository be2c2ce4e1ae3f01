// SPDX-License-Identifier: GPL-3.0-or-later
// EnumerateDevicePath against a stand-in for the enumeration library: this
// program defines ZrEnumUsbA itself, so the step calls it instead of libzrenum.
#include <gtest/gtest.h>

#include <climits>

#include "device/enumerate.h"
#include "device/zrenum/zrenum.h"

namespace {

int g_answer = 0;
int g_index = 0;
char* g_buf = nullptr;
int g_size = 0;

}  // namespace

extern "C" int ZrEnumUsbA(int index, char* buf, int size)
{
    g_index = index;
    g_buf = buf;
    g_size = size;
    return g_answer;
}

namespace {

TEST(EnumerateDevicePath, NegativeResultsBecomeMinusOne)
{
    char buffer[260];
    for (int answer : {-1, -7, INT_MIN}) {
        g_answer = answer;
        EXPECT_EQ(EnumerateDevicePath(3, buffer, 260), -1) << answer;
    }
    g_answer = 0;
    EXPECT_EQ(EnumerateDevicePath(0, buffer, 260), 0);   // 0 is a valid next index
    g_answer = 12;
    EXPECT_EQ(EnumerateDevicePath(11, buffer, 260), 12);
    EXPECT_EQ(g_index, 11);
    EXPECT_EQ(g_buf, buffer);
    EXPECT_EQ(g_size, 260);
}

}  // namespace
