# SPDX-License-Identifier: MIT
# A VERSIONINFO resource for a Windows executable, written from the one version of the build
# (QUORVAN_VERSION), so that the file's Properties dialog names the build and its commit.
include_guard(GLOBAL)

set(QUORVAN_PUBLISHER "Quorvan tools")
# The build number (scripts/version --build) in the numbers' last field, which holds 16 bits.
if(QUORVAN_BUILD GREATER 65535)
    set(QUORVAN_RC_BUILD 65535)
else()
    set(QUORVAN_RC_BUILD "${QUORVAN_BUILD}")
endif()

function(quorvan_version_resource target description)
    set(QUORVAN_RC_NAME "${target}")
    set(QUORVAN_RC_DESCRIPTION "${description}")
    set(rc "${PROJECT_BINARY_DIR}/generated/${target}-version.rc")
    configure_file("${PROJECT_SOURCE_DIR}/resources/version.rc.in" "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
endfunction()
