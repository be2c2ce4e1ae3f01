#pragma once
// The calculator enumeration library.
#ifdef __cplusplus
extern "C" {
#endif

// Offers the paths of ZENTRIX_DEVICES, then the USB devices matching
// ZENTRIX_USB_IDS (see device_lists.h).
// Writes the zero-terminated device path of the calculator at `index` into
// `buf` (`size` bytes) and returns the index of the next one; a negative
// result means there is no further calculator.
__attribute__((visibility("default"))) int ZrEnumUsbA(int index, char* buf, int size);

#ifdef __cplusplus
}
#endif
