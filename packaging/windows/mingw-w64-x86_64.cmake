# Cross build for 64-bit Windows with Debian's MinGW-w64, posix thread model (the code uses
# std::mutex, std::condition_variable and std::thread). Pass the Qt built by
# tools/build-qt-windows.sh as KIBCHAT_QT_WINDOWS (or in CMAKE_PREFIX_PATH).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(KIBCHAT_QT_WINDOWS)
  list(APPEND CMAKE_PREFIX_PATH ${KIBCHAT_QT_WINDOWS})
  list(APPEND CMAKE_FIND_ROOT_PATH ${KIBCHAT_QT_WINDOWS})
endif()
list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
# Host programs (Qt's moc, rcc) from the build machine; libraries and headers from the
# target's roots only.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
