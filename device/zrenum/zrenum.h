#pragma once
// The calculator enumeration library.
#ifdef __cplusplus
extern "C" {
#endif

// Offers the paths of ZENTRIX_DEVICES, then the USB devices matching
// ZENTRIX_USB_IDS (see device_lists.h).
// Writes the zero-terminated device path of the calculator at `index` into
// `buf` (`size` bytes) and returns the index of the next one; a negative
// result means there is no further calculator. A path longer than `size`
// bytes allow (zero byte included) is written as the empty string, which
// names no device: its open fails, it is never cut or skipped.
__attribute__((visibility("default"))) int ZrEnumUsbA(int index, char* buf, int size);

#ifdef __cplusplus
}
#endif
