# A program's command line as a user meets it, without a display: --help and --version answer
# on standard output with status 0, a mistyped option gives one line on standard error and
# status 2, and the window's toolkit is never needed for that.
#   cmake -DPROGRAM=<path> -DNAME=<name> -DVERSION=<version> -P command_line_check.cmake

# run(<out prefix> args...): the program with no display to connect to; xcb is forced, so a
# program that made its Qt application would abort.
function(run prefix)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                QT_QPA_PLATFORM=xcb ${PROGRAM} ${ARGN}
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 20)
    set(${prefix}_status "${status}" PARENT_SCOPE)
    set(${prefix}_out "${out}" PARENT_SCOPE)
    set(${prefix}_err "${err}" PARENT_SCOPE)
endfunction()

set(failures "")
function(fail what)
    set(failures "${failures}  ${what}\n" PARENT_SCOPE)
endfunction()

run(version --version)
if(NOT version_status STREQUAL "0")
    fail("--version: status ${version_status}, not 0")
endif()
if(NOT version_out STREQUAL "${NAME} ${VERSION}\n")
    fail("--version printed \"${version_out}\"")
endif()
if(NOT version_err STREQUAL "")
    fail("--version wrote on standard error: ${version_err}")
endif()

run(help --help)
string(FIND "${help_out}" "Usage: ${NAME}" at)
if(NOT help_status STREQUAL "0" OR NOT at EQUAL 0 OR NOT help_err STREQUAL "")
    fail("--help: status ${help_status}, output \"${help_out}\", error \"${help_err}\"")
endif()

run(bogus --no-such-option)
if(NOT bogus_status STREQUAL "2")
    fail("--no-such-option: status ${bogus_status}, not 2")
endif()
if(NOT bogus_out STREQUAL "")
    fail("--no-such-option wrote on standard output: ${bogus_out}")
endif()
if(NOT bogus_err MATCHES "^${NAME}: [^\n]*--no-such-option[^\n]*\n$")
    fail("--no-such-option: not one line naming it on standard error: ${bogus_err}")
endif()

if(failures)
    message(FATAL_ERROR "${NAME}:\n${failures}")
endif()
message(STATUS "${NAME}: --version, --help and a wrong option answered without a display")
