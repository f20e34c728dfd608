# SPDX-License-Identifier: MIT
# The Debian package: `cpack -G DEB` in a build directory makes one .deb holding
# quorvan-config, quorvan-cli, the desktop entry, icons, AppStream data, manual pages,
# copyright, changelog and the data files, that is, everything the install() rules name. The board simulator has no install rule and stays
# out: it answers broadcasts as though it were real boards, and a copy on a technician's PC
# could be started on the real network by mistake.
#
# scripts/package builds it as Debian builds its own: dpkg-buildflags, no tests, benchmark
# or simulator, then cpack. The version carries a build number (build-version.cmake).

include(${CMAKE_CURRENT_LIST_DIR}/build-version.cmake)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvan-config)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_VERSION ${QUORVAN_PACKAGE_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "find the Quorvan network boards and change their network settings")
# The summary above is the first line of Description. One string: several quoted arguments
# would make a CMake list, and every ';' between them would begin a line of the package.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "quorvan-config is a desktop tool (French interface) that lists every Quorvan\n"
    "network board answering a broadcast query on UDP port 4022 and writes new\n"
    "network settings to one of them. quorvan-cli does the same from a terminal or a\n"
    "script, and can change many boards at once from a CSV file.")
set(CPACK_PACKAGE_CONTACT "${QUORVAN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORVAN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Wherever this build directory installs to, the package installs where Debian packages
# belong; the desktop entry is written for the prefix of each installation.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# dpkg-shlibdeps (dpkg-dev) reads the libraries the programs link and writes Depends with
# the Debian package of each (libqt5core5a, libqt5network5, libqt5gui5, libqt5widgets5,
# libstdc++6, libc6...), with the versions this build needs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The directories of the package's tree that cpack makes itself, as those that the install
# rules make, have the same modes whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_STRIP_FILES ON)
set(CPACK_QUORVAN_STRIP "${CMAKE_STRIP}")
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/strip-comment.cmake)

include(CPack)
