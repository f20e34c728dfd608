# SPDX-License-Identifier: MIT
# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers and the Qt that
# scripts/build-windows builds once for them (QUORVAN_QT_MINGW, or the default cache).
# The posix thread model is the one that has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(DEFINED ENV{QUORVAN_QT_MINGW})
    set(QUORVAN_QT_MINGW "$ENV{QUORVAN_QT_MINGW}" CACHE PATH "Qt 5 built for MinGW-w64")
else()
    set(QUORVAN_QT_MINGW /var/cache/quorvan/qt5-mingw64 CACHE PATH "Qt 5 built for MinGW-w64")
endif()
set(CMAKE_FIND_ROOT_PATH ${QUORVAN_QT_MINGW} /usr/x86_64-w64-mingw32)
set(CMAKE_PREFIX_PATH ${QUORVAN_QT_MINGW})
# Programs (moc, uic, rcc) run on the build machine; headers, libraries and packages come
# from the Windows side only.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
