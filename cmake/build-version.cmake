# SPDX-License-Identifier: MIT
# The one version of a build (scripts/version): the project's version, the number of commits
# and the commit, as in 1.0.0.2+88.g3b84a42, so that apt and the Windows setup take each new
# build as an upgrade of the previous one and every build names its commit. The programs get
# it through the generated header quorvanversion.h. A commit, a checkout or a change to the
# index makes CMake configure again before the next build; the header is rewritten only when
# the version changed, so that only what includes it is compiled again.
include_guard(GLOBAL)

# The id of the desktop entry and the AppStream data (named so in packaging/ and resources/).
set(QUORVAN_DESKTOP_ID invalid.quorvan.config)
set(QUORVAN_PACKAGE_MAINTAINER "Quorvan tools <tools@quorvan.invalid>"
    CACHE STRING "Maintainer of the Debian package")

function(quorvan_version_query option out)
    execute_process(COMMAND sh "${PROJECT_SOURCE_DIR}/scripts/version" ${option}
                    RESULT_VARIABLE status OUTPUT_VARIABLE value
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT status EQUAL 0 OR value STREQUAL "")
        message(FATAL_ERROR "scripts/version ${option} failed")
    endif()
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

quorvan_version_query("" QUORVAN_VERSION)
quorvan_version_query(--build QUORVAN_BUILD)
quorvan_version_query(--epoch QUORVAN_SOURCE_EPOCH)
quorvan_version_query(--date QUORVAN_BUILD_DATE)
# The commit's day for the manual pages (string(TIMESTAMP) formats SOURCE_DATE_EPOCH when it
# is set), so that a page carries no date of its build.
set(outer_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} "${QUORVAN_SOURCE_EPOCH}")
string(TIMESTAMP QUORVAN_SOURCE_DAY "%Y-%m-%d" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${outer_epoch}")
set(QUORVAN_PACKAGE_VERSION "${QUORVAN_VERSION}")
# What the changelog says the build was made from (the forms of scripts/version).
if(QUORVAN_VERSION MATCHES "\\.g([0-9a-f]+)(~dirty)?$")
    set(QUORVAN_BUILD_SOURCE "git commit ${CMAKE_MATCH_1}")
    set(dirty "${CMAKE_MATCH_2}")
    if(QUORVAN_VERSION MATCHES "\\.shallow\\.")
        string(APPEND QUORVAN_BUILD_SOURCE " of a shallow clone")
    elseif(QUORVAN_VERSION MATCHES "\\.archive\\.")
        string(APPEND QUORVAN_BUILD_SOURCE ", exported without its history")
    endif()
    if(dirty)
        string(APPEND QUORVAN_BUILD_SOURCE " with uncommitted changes")
    endif()
else()
    set(QUORVAN_BUILD_SOURCE "no git history")
endif()

find_package(Git QUIET)
if(GIT_FOUND)
    execute_process(COMMAND "${GIT_EXECUTABLE}" -c "safe.directory=${PROJECT_SOURCE_DIR}"
                            rev-parse --absolute-git-dir
                    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                    OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    foreach(file logs/HEAD index)
        if(git_dir AND EXISTS "${git_dir}/${file}")
            set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY
                         CMAKE_CONFIGURE_DEPENDS "${git_dir}/${file}")
        endif()
    endforeach()
endif()

configure_file("${PROJECT_SOURCE_DIR}/src/app/quorvanversion.h.in"
               "${PROJECT_BINARY_DIR}/generated/quorvanversion.h" @ONLY)
