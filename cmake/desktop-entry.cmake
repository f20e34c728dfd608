# SPDX-License-Identifier: MIT
# Install-time part of linux-install.cmake: writes the desktop entry with the prefix of
# this installation and installs it (DESTDIR and install_manifest.txt as for any file).
if(IS_ABSOLUTE "${QUORVAN_DESKTOP_BINDIR}")
    set(CMAKE_INSTALL_FULL_BINDIR "${QUORVAN_DESKTOP_BINDIR}")
else()
    set(CMAKE_INSTALL_FULL_BINDIR "${CMAKE_INSTALL_PREFIX}/${QUORVAN_DESKTOP_BINDIR}")
endif()
set(QUORVAN_WORKDIR "${CMAKE_INSTALL_PREFIX}/${QUORVAN_DESKTOP_WORKDIR}")
configure_file("${QUORVAN_DESKTOP_TEMPLATE}" "${QUORVAN_DESKTOP_SCRATCH}/quorvan-config.desktop"
               @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${QUORVAN_DESKTOP_DIR}" TYPE FILE
     FILES "${QUORVAN_DESKTOP_SCRATCH}/quorvan-config.desktop")
