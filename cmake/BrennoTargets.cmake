# SPDX-License-Identifier: MIT
# Shared compile settings and helpers for the project's libraries, tests and fuzz targets.

add_library(brenno_options INTERFACE)
target_compile_options(brenno_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                                -Wno-sign-conversion)
if(BRENNO_WERROR)
    target_compile_options(brenno_options INTERFACE -Werror)
endif()
if(BRENNO_SANITIZE)
    target_compile_options(brenno_options INTERFACE -fsanitize=address,undefined
                                                    -fno-sanitize-recover=undefined
                                                    -fno-omit-frame-pointer)
    target_link_options(brenno_options INTERFACE -fsanitize=address,undefined)
endif()
if(BRENNO_FUZZ)
    # Coverage instrumentation in every library, so that the fuzzers see inside them.
    target_compile_options(brenno_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

# The project's version, set once in project(), for the programs' --version: the generated
# header brenno_version.h.
configure_file(${PROJECT_SOURCE_DIR}/cmake/brenno_version.h.in
               ${PROJECT_BINARY_DIR}/generated/brenno_version.h @ONLY)
add_library(brenno_version INTERFACE)
target_include_directories(brenno_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

# brenno_add_library(name SOURCES ... DEPS ...): a static library of the project.
# [PRIVATE_DEPS ...] are libraries for its own sources, which its users do not see. It publishes
# the headers of the folder of src/ whose CMakeLists.txt defines it (brenno_header_root), and
# its users see those and the headers of its DEPS, nothing more, so that a header from a layer
# a library does not link is not found. Libraries defined outside src/ (test helpers) see and
# publish all of src/, as the tests do.
function(brenno_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
    if(folder STREQUAL "" OR folder MATCHES "^\\.\\./")
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    else()
        brenno_header_root(${folder} root)
        target_include_directories(${name} PUBLIC ${root})
    endif()
    target_link_libraries(${name} PUBLIC brenno_options ${ARG_DEPS})
    if(ARG_PRIVATE_DEPS)
        target_link_libraries(${name} PRIVATE ${ARG_PRIVATE_DEPS})
    endif()
endfunction()

# brenno_header_root(folder out): the include root of a folder of src/ in the build tree,
# include/<folder>/, made at the first call. It holds links to the folder's headers under the
# names the sources include them by (include/channel/channel/serial_channel.h leads to
# src/channel/serial_channel.h), those of its subfolders too, but not of a subfolder that
# defines libraries of its own (platform/posix), nor of any other folder. The links follow the
# headers as they come and go (the globs are checked again at each build).
function(brenno_header_root folder out)
    string(REPLACE "/" "." key ${folder})
    set(root ${PROJECT_BINARY_DIR}/include/${key})
    get_property(made GLOBAL PROPERTY brenno_header_root_${key} SET)
    if(NOT made)
        set(dir ${PROJECT_SOURCE_DIR}/src/${folder})
        file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${dir} ${dir}/*.h)
        file(GLOB_RECURSE own_lists CONFIGURE_DEPENDS RELATIVE ${dir} ${dir}/*/CMakeLists.txt)
        foreach(own_list IN LISTS own_lists)
            get_filename_component(subfolder ${own_list} DIRECTORY)
            list(FILTER headers EXCLUDE REGEX "^${subfolder}/")
        endforeach()
        file(REMOVE_RECURSE ${root})
        foreach(header IN LISTS headers)
            get_filename_component(parent ${root}/${folder}/${header} DIRECTORY)
            file(MAKE_DIRECTORY ${parent})
            file(CREATE_LINK ${dir}/${header} ${root}/${folder}/${header} SYMBOLIC)
        endforeach()
        set_property(GLOBAL PROPERTY brenno_header_root_${key} TRUE)
    endif()
    set(${out} ${root} PARENT_SCOPE)
endfunction()

# brenno_add_unit_test(name SOURCES ... DEPS ... [LABELS ...] [RU_LOCALE]): a GoogleTest binary.
# RU_LOCALE registers the binary a second time with LC_ALL=ru_RU.UTF-8, so that number
# formatting is checked not to depend on the process locale.
include(GoogleTest)
function(brenno_add_unit_test name)
    cmake_parse_arguments(ARG "RU_LOCALE" "" "SOURCES;DEPS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE brenno_options ${ARG_DEPS} GTest::gtest GTest::gmock
                                          GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
    if(NOT ARG_LABELS)
        set(ARG_LABELS unit)
    endif()
    if(CMAKE_CROSSCOMPILING)
        # Under the emulator (Wine) a process start is dear: one ctest test runs the whole
        # binary, whose output names every failed case. A window test that waits for a dialog
        # which never comes is ended after five minutes rather than ctest's 25.
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 300)
        if(ARG_RU_LOCALE)
            add_test(NAME ${name}.ru_RU COMMAND ${name})
            set_tests_properties(${name}.ru_RU PROPERTIES LABELS "${ARG_LABELS}"
                                 ENVIRONMENT "LC_ALL=ru_RU.UTF-8")
        endif()
        return()
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${ARG_LABELS}")
    if(ARG_RU_LOCALE)
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_SUFFIX ".ru_RU"
                             PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "LC_ALL=ru_RU.UTF-8")
    endif()
endfunction()

# brenno_add_fuzz_target(name SOURCES ... DEPS ... [CORPUS dir]): a libFuzzer target; only
# built in the fuzz-enabled (clang, sanitizer) preset. CORPUS names the starting corpus folder.
function(brenno_add_fuzz_target name)
    cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;DEPS" ${ARGN})
    if(NOT BRENNO_FUZZ)
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE brenno_options ${ARG_DEPS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
    set_property(GLOBAL APPEND PROPERTY BRENNO_FUZZ_TARGETS ${name})
    if(ARG_CORPUS)
        set_property(GLOBAL APPEND PROPERTY BRENNO_FUZZ_CORPORA "${name}=${ARG_CORPUS}")
    endif()
endfunction()

# Writes the list of fuzz targets (name and starting corpus) for the run script.
function(brenno_write_fuzz_list)
    get_property(targets GLOBAL PROPERTY BRENNO_FUZZ_TARGETS)
    get_property(corpora GLOBAL PROPERTY BRENNO_FUZZ_CORPORA)
    set(text "")
    foreach(t IN LISTS targets)
        set(corpus "")
        foreach(entry IN LISTS corpora)
            if(entry MATCHES "^${t}=(.*)$")
                set(corpus "${CMAKE_MATCH_1}")
            endif()
        endforeach()
        string(APPEND text "${t}\t${corpus}\n")
    endforeach()
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz_targets.tsv "${text}")
endfunction()
