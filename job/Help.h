// Opens the help file of the dialogs at a context number: HTML Help on Windows, nothing
// elsewhere. A viewer asked for a missing file can wait forever, so a missing file never
// reaches one; tests install a recording viewer so that nothing ever waits on a real one.
#pragma once
#include <cstdint>

namespace Help {
// Shows topic `context` of `file` over `owner` (a window handle, or null): true when shown.
using Viewer = bool (*)(const char* file, int32_t context, void* owner);

// False when file is empty or does not exist (no viewer is asked), or when the viewer could not
// show it.
bool Show(const char* file, int32_t context, void* owner);

// Replaces the viewer; null puts the platform's back.
void Install(Viewer viewer);

// The platform's viewer: HtmlHelpA of hhctrl.ocx (loaded on first use) on Windows.
bool PlatformShow(const char* file, int32_t context, void* owner);
}  // namespace Help
