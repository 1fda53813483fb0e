// The single-instance guard on Windows: a named mutex in the session's namespace. Its handle
// is never closed, so the name stays taken exactly as long as the process lives, however it
// ends.
//
// Builds without Qt, like the rest of the Win32 calls, so it declares the function itself
// rather than including Platform.h.

#include "platform/win32/WindowsApi.h"

#include <string>

namespace platform {

bool acquireInstanceGuard(const char* name);
std::string sessionServerName(const char* name);

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

// Pipe names are machine-wide, unlike the mutex: the session's number keeps them apart, and the
// server's own access rule keeps other users out.
std::string sessionServerName(const char* name) {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session))
        session = 0;
    return std::string(name) + "-session-" + std::to_string(session);
}

bool acquireInstanceGuard(const char* name) {
    const std::wstring wideName = fromUtf8(name);
    if (wideName.empty())
        return true; // a nameless mutex guards nothing
    if (!CreateMutexW(nullptr, FALSE, wideName.c_str()))
        return true; // no guard to be had: start without one rather than not at all
    return GetLastError() != ERROR_ALREADY_EXISTS;
}

} // namespace platform
