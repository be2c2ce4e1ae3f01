// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The calculator enumeration library.
#ifdef _WIN32
#ifdef zrenum_EXPORTS
#define ZRENUM_API __declspec(dllexport)
#else
#define ZRENUM_API __declspec(dllimport)
#endif
#else
#define ZRENUM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Offers the paths of ZENTRIX_DEVICES, then the USB devices matching
// ZENTRIX_USB_IDS (see device_lists.h); on Windows the present COM ports
// follow ZENTRIX_DEVICES, and the USB device interfaces whose IDs are in
// ZENTRIX_USB_IDS come last.
// Writes the zero-terminated device path of the calculator at `index` into
// `buf` (`size` bytes) and returns the index of the next one; a negative
// result means there is no further calculator. A path longer than `size`
// bytes allow (zero byte included) is written as the empty string, which
// names no device: its open fails, it is never cut or skipped.
ZRENUM_API int ZrEnumUsbA(int index, char* buf, int size);

// As ZrEnumUsbA, from lists the caller worked out instead of the
// environment: the `pathCount` device paths of `paths` take the place of
// ZENTRIX_DEVICES and `usbIds` ("vvvv:pppp" pairs separated by ',', may be
// null) the place of ZENTRIX_USB_IDS.
ZRENUM_API int ZrEnumListedA(int index, char* buf, int size, const char* const* paths, int pathCount,
                             const char* usbIds);

// Every path ZrEnumListedA would offer, from one look at the system:
// written into `buf` one after another, each ended by a zero byte. Returns
// the bytes the whole list takes; when that is more than `size`, `buf` holds
// nothing usable and the caller asks again with a larger buffer. Negative
// when the list cannot be told.
ZRENUM_API int ZrEnumListAllA(char* buf, int size, const char* const* paths, int pathCount, const char* usbIds);
#ifdef __cplusplus
}
#endif
