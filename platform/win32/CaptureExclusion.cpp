#include "platform/win32/CaptureExclusion.h"
#include "platform/win32/WindowsApi.h"

// Older MinGW headers know only the black variant.
#ifndef WDA_EXCLUDEFROMCAPTURE
#define WDA_EXCLUDEFROMCAPTURE 0x00000011
#endif

namespace platform::win32 {

namespace {

CaptureAffinity readBack(HWND window) {
    DWORD affinity = WDA_NONE;
    if (!GetWindowDisplayAffinity(window, &affinity))
        return CaptureAffinity::Unknown;
    switch (affinity) {
    case WDA_NONE:
        return CaptureAffinity::Shown;
    case WDA_MONITOR:
        return CaptureAffinity::Black;
    case WDA_EXCLUDEFROMCAPTURE:
        return CaptureAffinity::Hidden;
    default:
        return CaptureAffinity::Unknown;
    }
}

} // namespace

CaptureAffinity setCaptureExclusion(WindowHandle window, bool exclude) {
    const HWND hwnd = reinterpret_cast<HWND>(window);
    if (!exclude)
        SetWindowDisplayAffinity(hwnd, WDA_NONE);
    else if (!SetWindowDisplayAffinity(hwnd, WDA_EXCLUDEFROMCAPTURE))
        SetWindowDisplayAffinity(hwnd, WDA_MONITOR);
    return readBack(hwnd);
}

} // namespace platform::win32
