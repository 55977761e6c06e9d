// Names of the resources zentriq.exe carries, shared by the resource script and the code.
#pragma once

// The JPEG product photograph of the About window, decoded by Windows when the window is built.
#define ZENTRIQ_PHOTO_JPEG 101
