# SPDX-License-Identifier: MIT
# A VERSIONINFO resource for a Windows executable, written from the one version of the build
# (QUORVAN_VERSION), so that the file's Properties dialog names the build and its commit.
include_guard(GLOBAL)

set(QUORVAN_PUBLISHER "Quorvan tools")

function(quorvan_version_resource target description)
    set(QUORVAN_RC_NAME "${target}")
    set(QUORVAN_RC_DESCRIPTION "${description}")
    set(rc "${PROJECT_BINARY_DIR}/generated/${target}-version.rc")
    configure_file("${PROJECT_SOURCE_DIR}/resources/version.rc.in" "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
endfunction()
