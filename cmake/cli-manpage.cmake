# SPDX-License-Identifier: MIT
# Writes the manual page of quorvan-cli from its own help texts with help2man, so that the
# page cannot drift from the program: the general --help, then one subsection for each
# command from `quorvan-cli COMMAND --help`, then gzip -9n as Debian wants manual pages.
#   cmake -DCLI=quorvan-cli -DHELP2MAN=help2man -DOUT=quorvan-cli.1.gz -P cli-manpage.cmake
set(summary "find the Quorvan network boards and change their network settings")
get_filename_component(work "${OUT}" DIRECTORY)
set(include "${work}/quorvan-cli.h2m")
set(page "${work}/quorvan-cli.1")

function(help2man output)
    execute_process(COMMAND "${HELP2MAN}" --no-info --section 1 --name "${summary}" ${ARGN}
                            "${CLI}"
                    OUTPUT_VARIABLE text RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "help2man ${ARGN} ${CLI} failed")
    endif()
    set(${output} "${text}" PARENT_SCOPE)
endfunction()

set(commands "[COMMANDS]\n")
foreach(command discover set apply)
    help2man(text --help-option "${command} --help")
    string(FIND "${text}" ".SH SYNOPSIS\n" synopsis_at)
    string(FIND "${text}" ".SH DESCRIPTION\n" description_at)
    if(synopsis_at LESS 0 OR description_at LESS 0)
        message(FATAL_ERROR "quorvan-cli ${command} --help: no usage line")
    endif()
    math(EXPR synopsis_at "${synopsis_at} + 13")
    math(EXPR length "${description_at} - ${synopsis_at}")
    string(SUBSTRING "${text}" ${synopsis_at} ${length} synopsis)
    math(EXPR description_at "${description_at} + 16")
    string(SUBSTRING "${text}" ${description_at} -1 body)
    # A usage line wrapped in the help text reaches help2man as an indented paragraph.
    if(body MATCHES "^\\.IP\n([^\n]*)\n\\.PP\n")
        string(APPEND synopsis "${CMAKE_MATCH_1}\n")
        string(LENGTH "${CMAKE_MATCH_0}" skip)
        string(SUBSTRING "${body}" ${skip} -1 body)
    endif()
    # A line of the include file that begins with '[' would start a section.
    string(REGEX REPLACE "(^|\n)\\[" "\\1\\\\&[" body "${body}")
    string(APPEND commands ".SS \"${command}\"\n${synopsis}.PP\n${body}")
endforeach()
file(WRITE "${include}" "${commands}\n[SEE ALSO]\n.BR quorvan\\-config (1)\n")

help2man(text --include "${include}")
file(WRITE "${page}" "${text}")
execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${page} failed")
endif()
