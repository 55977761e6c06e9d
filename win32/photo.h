// The About window's product photograph: the JPEG built into the program as a resource, decoded by
// Windows' own imaging component (WIC) into a bitmap of its natural size.
#pragma once

#include <windows.h>

namespace win32 {

// The photograph as a 32-bit top-down bitmap, opaque, at its natural size; nullptr when it cannot
// be decoded. The caller owns it (DeleteObject).
HBITMAP LoadProductPhoto();

}  // namespace win32
