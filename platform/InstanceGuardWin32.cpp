// The single-instance guard on Windows: a named mutex in the session's namespace. Its handle
// is never closed, so the name stays taken exactly as long as the process lives, however it
// ends.
//
// Builds without Qt, like the rest of the Win32 calls, so it declares the function itself
// rather than including Platform.h.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace platform {

bool acquireInstanceGuard(const char* name);

namespace {

std::wstring fromUtf8(const char* text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (size <= 1)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], size);
    wide.resize(static_cast<std::size_t>(size - 1)); // drop the terminator it wrote
    return wide;
}

} // namespace

bool acquireInstanceGuard(const char* name) {
    const std::wstring wideName = fromUtf8(name);
    if (wideName.empty())
        return true; // a nameless mutex guards nothing
    if (!CreateMutexW(nullptr, FALSE, wideName.c_str()))
        return true; // no guard to be had: start without one rather than not at all
    return GetLastError() != ERROR_ALREADY_EXISTS;
}

} // namespace platform
