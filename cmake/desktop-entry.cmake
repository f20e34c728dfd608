# SPDX-License-Identifier: MIT
# Install-time part of linux-install.cmake: writes the desktop entry with the prefix of
# this installation and installs it (DESTDIR and install_manifest.txt as for any file). It
# is named after the AppStream id, as the AppStream data expect.
# Each directory is given as CMAKE_INSTALL_<dir> gives it: under the prefix, or absolute.
foreach(dir BINDIR WORKDIR DIR)
    if(IS_ABSOLUTE "${QUORVAN_DESKTOP_${dir}}")
        set(desktop_${dir} "${QUORVAN_DESKTOP_${dir}}")
    else()
        set(desktop_${dir} "${CMAKE_INSTALL_PREFIX}/${QUORVAN_DESKTOP_${dir}}")
    endif()
endforeach()
# Exec is always quoted, so that a prefix with a space or another reserved character still
# names one program: inside the quotes " ` $ and \ take a backslash, and % is doubled (it
# would begin a field code). Then, as in every string value of the entry, and in Path too,
# each backslash is doubled once more.
set(exec "${desktop_BINDIR}/quorvan-config")
foreach(reserved "\\" "\"" "`" "$")
    string(REPLACE "${reserved}" "\\${reserved}" exec "${exec}")
endforeach()
string(REPLACE "%" "%%" exec "${exec}")
string(REPLACE "\\" "\\\\" exec "${exec}")
set(QUORVAN_EXEC "\"${exec}\"")
string(REPLACE "\\" "\\\\" QUORVAN_WORKDIR "${desktop_WORKDIR}")
configure_file("${QUORVAN_DESKTOP_TEMPLATE}"
               "${QUORVAN_DESKTOP_SCRATCH}/invalid.quorvan.config.desktop" @ONLY)
file(INSTALL DESTINATION "${desktop_DIR}" TYPE FILE
     FILES "${QUORVAN_DESKTOP_SCRATCH}/invalid.quorvan.config.desktop")
