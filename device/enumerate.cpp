#include "device/enumerate.h"

#include "device/zrenum/zrenum.h"

int32_t EnumerateDevicePath(int32_t index, char* buffer, int32_t size)
{
    const int result = ZrEnumUsbA(index, buffer, size);
    return result < 0 ? -1 : result;
}
