#pragma once

// <windows.h> as every Win32 unit here includes it: the W entry points and IDC_* resources as
// wide strings whatever the build defines, no min and max macros in the way of the standard
// library's, and none of the rarely used parts (sockets, COM, shell).

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
