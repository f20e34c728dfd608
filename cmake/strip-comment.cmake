# SPDX-License-Identifier: MIT
# CPack pre-build script: CPACK_STRIP_FILES strips the symbols, but leaves the compiler's
# .comment and .note sections, which Debian's own packages drop (dh_strip) and lintian
# reports. Runs on the programs in cpack's staging directory before the .deb is made.
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_DIRECTORY}/*/bin/*")
foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_QUORVAN_STRIP}" --remove-section=.comment --remove-section=.note
                            "${program}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "strip ${program} failed")
    endif()
endforeach()
