#include "zrenum.h"

// Placeholder until the enumeration is written: no calculator.
int ZrEnumUsbA(int, char*, int)
{
    return -1;
}
