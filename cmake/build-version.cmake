# SPDX-License-Identifier: MIT
# The package version: the project's version followed by a build number that grows with
# every commit (the number of commits), so that apt takes each new build as an upgrade of
# the previous one. A tree without git history counts as build 0 plus the configure time,
# below any build from git. A commit makes CMake configure again before the next build.
include_guard(GLOBAL)

set(QUORVAN_PACKAGE_MAINTAINER "Quorvan tools <tools@quorvan.invalid>"
    CACHE STRING "Maintainer of the Debian package")
set(QUORVAN_BUILD_NUMBER "" CACHE STRING
    "Build number in the package version (empty: the number of git commits)")

set(QUORVAN_BUILD_SOURCE "")
set(QUORVAN_BUILD_DATE "")
find_package(Git QUIET)
if(NOT QUORVAN_BUILD_NUMBER AND GIT_FOUND)
    execute_process(COMMAND "${GIT_EXECUTABLE}" rev-list --count HEAD
                    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" RESULT_VARIABLE status
                    OUTPUT_VARIABLE count OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(status EQUAL 0 AND count MATCHES "^[0-9]+$")
        set(number ${count})
        execute_process(COMMAND "${GIT_EXECUTABLE}" log -1
                                "--date=format:%a, %d %b %Y %H:%M:%S %z" "--format=%h%n%cd"
                        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                        OUTPUT_VARIABLE head OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        string(REPLACE "\n" ";" head "${head}")
        list(GET head 0 commit)
        list(GET head 1 QUORVAN_BUILD_DATE)
        set(QUORVAN_BUILD_SOURCE "git commit ${commit}")
        execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --absolute-git-dir
                        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                        OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(EXISTS "${git_dir}/logs/HEAD")
            set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY
                         CMAKE_CONFIGURE_DEPENDS "${git_dir}/logs/HEAD")
        endif()
    endif()
endif()
if(QUORVAN_BUILD_NUMBER)
    set(number ${QUORVAN_BUILD_NUMBER})
    set(QUORVAN_BUILD_SOURCE "build number given at configure time")
elseif(NOT DEFINED number)
    string(TIMESTAMP stamp "%Y%m%d%H%M%S" UTC)
    set(number 0.${stamp})
    set(QUORVAN_BUILD_SOURCE "no git history")
endif()
if(NOT QUORVAN_BUILD_DATE)
    string(TIMESTAMP QUORVAN_BUILD_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()
set(QUORVAN_BUILD ${number})
set(QUORVAN_PACKAGE_VERSION "${PROJECT_VERSION}+${QUORVAN_BUILD}")
