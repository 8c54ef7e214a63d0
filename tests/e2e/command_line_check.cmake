# SPDX-License-Identifier: MIT
# A program's command line as a user meets it, without a display: --help and --version answer
# on standard output with status 0, a mistyped option gives one line on standard error and
# status 2, and the window's toolkit is never needed for that.
#   cmake -DPROGRAM=<path> -DNAME=<name> -DVERSION=<version> -P command_line_check.cmake

set(failures "")

# expect(ARGS ... STATUS status OUT regex ERR regex): one run of the program with no display to
# connect to (xcb is forced, so a program that made its Qt application would abort) and what it
# must give.
function(expect)
    cmake_parse_arguments(E "" "STATUS;OUT;ERR" "ARGS" ${ARGN})
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                QT_QPA_PLATFORM=xcb ${PROGRAM} ${E_ARGS}
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 20)
    if(NOT status STREQUAL E_STATUS OR NOT out MATCHES "${E_OUT}" OR NOT err MATCHES "${E_ERR}")
        string(APPEND failures "  ${E_ARGS}: status ${status} (not ${E_STATUS}), "
                               "output \"${out}\", error \"${err}\"\n")
        set(failures "${failures}" PARENT_SCOPE)
    endif()
endfunction()

string(REPLACE "." "\\." version "${VERSION}")
expect(ARGS --version STATUS 0 OUT "^${NAME} ${version}\n$" ERR "^$")
expect(ARGS --help STATUS 0 OUT "^Usage: ${NAME} " ERR "^$")
expect(ARGS --no-such-option STATUS 2 OUT "^$" ERR "^${NAME}: [^\n]*--no-such-option[^\n]*\n$")

if(failures)
    message(FATAL_ERROR "${NAME}:\n${failures}")
endif()
message(STATUS "${NAME}: --version, --help and a wrong option answered without a display")
