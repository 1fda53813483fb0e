// InstanceGuardWin32.cpp declares the guard function itself so that it builds without Qt;
// this keeps that declaration in step with the one in Platform.h.

#include "platform/Platform.h"

#include <type_traits>

static_assert(std::is_same_v<decltype(&platform::acquireInstanceGuard), bool (*)(const char*)>,
              "update the declaration in platform/InstanceGuardWin32.cpp");
static_assert(std::is_same_v<decltype(&platform::sessionServerName), std::string (*)(const char*)>,
              "update the declaration in platform/InstanceGuardWin32.cpp");
