# SPDX-License-Identifier: MIT
# What a Linux desktop and a Debian package expect besides the programs: the desktop entry,
# the icons, AppStream data, manual pages, the copyright file and the changelog; and an
# uninstall target that removes what `cmake --install` wrote.

add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
            -P ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake
    COMMENT "Removing the files listed in install_manifest.txt")

if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/build-version.cmake)

# The desktop entry names the program and its working directory by absolute paths, so it is
# written at install time, under the prefix given then (cmake --install --prefix, cpack).
install(CODE "set(QUORVAN_DESKTOP_TEMPLATE \"${PROJECT_SOURCE_DIR}/resources/invalid.quorvan.config.desktop.in\")
set(QUORVAN_DESKTOP_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
set(QUORVAN_DESKTOP_WORKDIR \"${QUORVAN_DATADIR}/run/config\")
set(QUORVAN_DESKTOP_DIR \"${CMAKE_INSTALL_DATADIR}/applications\")
set(QUORVAN_DESKTOP_SCRATCH \"${CMAKE_BINARY_DIR}/install-time\")")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/desktop-entry.cmake)

foreach(size 48 64 128 256)
    install(FILES resources/icons/quorvan-config-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME quorvan-config.png)
endforeach()
install(FILES resources/icons/quorvan-config.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/invalid.quorvan.config.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and the changelog are compressed with gzip -9n, as Debian wants them: best
# compression, and no name or time stamp inside, so that a rebuild gives the same bytes.
set(QUORVAN_MAN_DIR ${CMAKE_BINARY_DIR}/man)
configure_file(packaging/man/quorvan-config.1 ${QUORVAN_MAN_DIR}/quorvan-config.1 @ONLY)
add_custom_command(OUTPUT ${QUORVAN_MAN_DIR}/quorvan-config.1.gz
    COMMAND gzip -9nf -k ${QUORVAN_MAN_DIR}/quorvan-config.1
    DEPENDS ${QUORVAN_MAN_DIR}/quorvan-config.1)
set(QUORVAN_MAN_PAGES ${QUORVAN_MAN_DIR}/quorvan-config.1.gz)
# The page of quorvan-cli is written from its help texts (no socket is opened for them).
find_package(Python3 COMPONENTS Interpreter)
if(TARGET quorvan-cli AND NOT CMAKE_CROSSCOMPILING)
    if(Python3_Interpreter_FOUND)
        set(script ${PROJECT_SOURCE_DIR}/packaging/man/cli-manpage.py)
        add_custom_command(OUTPUT ${QUORVAN_MAN_DIR}/quorvan-cli.1.gz
            COMMAND ${Python3_EXECUTABLE} ${script} $<TARGET_FILE:quorvan-cli>
                    ${QUORVAN_SOURCE_DAY} ${QUORVAN_MAN_DIR}/quorvan-cli.1
            COMMAND gzip -9nf ${QUORVAN_MAN_DIR}/quorvan-cli.1
            DEPENDS quorvan-cli ${script}
            COMMENT "Writing the manual page of quorvan-cli from its help texts")
        list(APPEND QUORVAN_MAN_PAGES ${QUORVAN_MAN_DIR}/quorvan-cli.1.gz)
    else()
        message(WARNING "Python 3 not found: quorvan-cli gets no manual page")
    endif()
endif()
add_custom_target(manpages ALL DEPENDS ${QUORVAN_MAN_PAGES})
install(FILES ${QUORVAN_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The changelog of the package: an entry naming this build, then the history of
# debian/changelog, the one that dpkg-buildpackage reads.
set(QUORVAN_DOC_DIR ${CMAKE_BINARY_DIR}/doc)
file(READ debian/changelog QUORVAN_CHANGELOG_HISTORY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS debian/changelog)
configure_file(packaging/changelog-entry.in ${QUORVAN_DOC_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${QUORVAN_DOC_DIR}/changelog.gz
    COMMAND gzip -9nf -k ${QUORVAN_DOC_DIR}/changelog
    DEPENDS ${QUORVAN_DOC_DIR}/changelog)
add_custom_target(changelog ALL DEPENDS ${QUORVAN_DOC_DIR}/changelog.gz)
install(FILES debian/copyright ${QUORVAN_DOC_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
