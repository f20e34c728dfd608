# SPDX-License-Identifier: MIT
# Removes what the last `cmake --install` of this build directory wrote, as its
# install_manifest.txt lists it, then the directories of the project's own that are left
# empty. Shared directories such as bin/ or share/applications/ stay.
#   cmake -DMANIFEST=install_manifest.txt -P uninstall.cmake
if(NOT EXISTS "${MANIFEST}")
    message(FATAL_ERROR "${MANIFEST} not found: nothing was installed from this build directory")
endif()
file(STRINGS "${MANIFEST}" files)
# A file that dpkg lists as a package's (the same build installed by its .deb over a
# `cmake --install` into /usr, say) belongs to the package manager: nothing is removed then.
# Under DESTDIR the files are in a staging tree, which dpkg knows nothing of.
find_program(QUORVAN_DPKG_QUERY dpkg-query)
if(QUORVAN_DPKG_QUERY AND "$ENV{DESTDIR}" STREQUAL "" AND files)
    execute_process(COMMAND "${QUORVAN_DPKG_QUERY}" -S ${files}
                    OUTPUT_VARIABLE owned ERROR_QUIET)
    string(REGEX MATCHALL "[^\n]*: /[^\n]*" owned "${owned}")
    if(owned)
        list(JOIN owned "\n  " owned)
        message(FATAL_ERROR "Not uninstalling: files of this installation belong to packages "
                            "(remove those with the package manager):\n  ${owned}")
    endif()
endif()
set(own_dirs)
foreach(file IN LISTS files)
    set(path "$ENV{DESTDIR}${file}")
    if(IS_SYMLINK "${path}" OR EXISTS "${path}")
        message(STATUS "Removing ${path}")
        file(REMOVE "${path}")
    else()
        message(STATUS "Already gone: ${path}")
    endif()
    if(path MATCHES "^(.*/share/(doc/)?quorvan-config)/")
        list(APPEND own_dirs "${CMAKE_MATCH_1}")
    endif()
endforeach()
# Deepest first, so that a directory is empty by the time it is reached.
list(REMOVE_DUPLICATES own_dirs)
foreach(top IN LISTS own_dirs)
    file(GLOB_RECURSE dirs LIST_DIRECTORIES true "${top}/*")
    list(APPEND dirs "${top}")
    list(SORT dirs ORDER DESCENDING)
    foreach(dir IN LISTS dirs)
        file(GLOB entries "${dir}/*")
        if(IS_DIRECTORY "${dir}" AND NOT entries)
            execute_process(COMMAND rmdir "${dir}")
        endif()
    endforeach()
endforeach()
