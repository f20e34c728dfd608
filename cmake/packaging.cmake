# SPDX-License-Identifier: MIT
# The Debian package: `cpack -G DEB` in a build directory makes one .deb holding
# quorvan-config, quorvan-cli, the desktop entry, the icon and the data files, that is,
# everything the install() rules name. The board simulator has no install rule and stays
# out: it answers broadcasts as though it were real boards, and a copy on a technician's PC
# could be started on the real network by mistake.
#
# The desktop entry is written with the installation prefix at configure time, so the
# package installs under that same prefix; configure with -DCMAKE_INSTALL_PREFIX=/usr for a
# package that installs where Debian packages belong.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvan-config)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "find the Quorvan network boards and change their network settings")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "quorvan-config is a desktop tool (French interface) that lists every Quorvan network\n"
    "board answering a broadcast query on UDP port 4022 and writes new network settings\n"
    "to one of them. quorvan-cli does the same from a terminal or a script, and can\n"
    "change many boards at once from a CSV file.")
set(QUORVAN_PACKAGE_MAINTAINER "Quorvan tools <tools@quorvan.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${QUORVAN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORVAN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
# dpkg-shlibdeps (dpkg-dev) reads the libraries the programs link and writes Depends with
# the Debian package of each (libqt5core5a, libqt5network5, libqt5gui5, libqt5widgets5,
# libstdc++6, libc6...), with the versions this build needs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)

include(CPack)
