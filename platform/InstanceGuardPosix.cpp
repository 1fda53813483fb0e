#include "platform/Platform.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

namespace {

std::string sessionPath(const char* name, const char* suffix) {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir && *runtimeDir)
        return std::string(runtimeDir) + '/' + name + suffix;
    // The temporary directory is shared between users: name the file per user.
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = (tmp && *tmp) ? tmp : "/tmp";
    return dir + '/' + name + '-' + std::to_string(getuid()) + suffix;
}

std::string guardPath(const char* name) {
    return sessionPath(name, ".lock");
}

} // namespace

std::string sessionServerName(const char* name) {
    return sessionPath(name, ".socket");
}

bool acquireInstanceGuard(const char* name) {
    const std::string path = guardPath(name);
    // O_CLOEXEC: a child process must not keep the guard alive after we die.
    // O_NOFOLLOW: never follow a link planted in a shared directory.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return true; // no guard to be had: start without one rather than not at all
    int rc;
    do {
        rc = flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0)
        return true; // the descriptor stays open for the life of the process
    const bool held = errno == EWOULDBLOCK;
    close(fd);
    return !held;
}

} // namespace platform
