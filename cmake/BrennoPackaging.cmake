# SPDX-License-Identifier: MIT
# Installation (both programs, the simulator, desktop entries, icons, AppStream metainfo, man
# pages, the documentation) and the Debian package:
#   cmake --install <build> [--prefix DIR]
#   cmake --workflow --preset package     (or ./run package)
include(GNUInstallDirs)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(brenno_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(brenno_generated ${PROJECT_BINARY_DIR}/packaging)
set(brenno_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/transducer-tools)

# The release date is that of the changelog's latest entry, which must be the project's
# version: the package's history, its metainfo and its man pages then agree.
file(STRINGS ${brenno_packaging}/debian/changelog brenno_changelog_head LIMIT_COUNT 1)
if(NOT brenno_changelog_head MATCHES "^transducer-tools \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/debian/changelog: the latest entry is not version "
                        "${PROJECT_VERSION} (project()): \"${brenno_changelog_head}\"")
endif()
file(STRINGS ${brenno_packaging}/debian/changelog brenno_changelog_trailer
     REGEX "^ -- .*  [A-Z][a-z][a-z], " LIMIT_COUNT 1)
if(NOT brenno_changelog_trailer MATCHES ", ([0-9]+) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "packaging/debian/changelog: no date in \"${brenno_changelog_trailer}\"")
endif()
set(brenno_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND brenno_months ${CMAKE_MATCH_2} brenno_month)
math(EXPR brenno_month "${brenno_month} + 1")
string(LENGTH "${CMAKE_MATCH_1}" brenno_day_digits)
set(brenno_day ${CMAKE_MATCH_1})
if(brenno_day_digits EQUAL 1)
    set(brenno_day 0${brenno_day})
endif()
if(brenno_month LESS 10)
    set(brenno_month 0${brenno_month})
endif()
set(BRENNO_RELEASE_DATE "${CMAKE_MATCH_3}-${brenno_month}-${brenno_day}")

# brenno_install_gzipped(source destination): the file compressed as Debian wants it (gzip -9n:
# best compression, no name or time stamp, so that builds are reproducible).
function(brenno_install_gzipped source destination)
    get_filename_component(name ${source} NAME)
    set(compressed ${brenno_generated}/gz/${name}.gz)
    add_custom_command(OUTPUT ${compressed}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${brenno_generated}/gz
                       COMMAND gzip -9n -c ${source} > ${compressed}
                       DEPENDS ${source} VERBATIM)
    add_custom_target(brenno_gz_${name} ALL DEPENDS ${compressed})
    install(FILES ${compressed} DESTINATION ${destination})
endfunction()

foreach(program polmira calvena)
    if(NOT TARGET ${program})
        continue()
    endif()
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${brenno_packaging}/linux/${program}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    configure_file(${brenno_packaging}/linux/org.example.corvanta.${program}.metainfo.xml.in
                   ${brenno_generated}/org.example.corvanta.${program}.metainfo.xml @ONLY)
    install(FILES ${brenno_generated}/org.example.corvanta.${program}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    # The application icons, one file per size (icons/<program>-<size>.png) and a scalable one.
    file(GLOB icons ${PROJECT_SOURCE_DIR}/src/app/icons/${program}-*.png)
    foreach(icon IN LISTS icons)
        if(icon MATCHES "-([0-9]+)\\.png$")
            set(size ${CMAKE_MATCH_1})
            install(FILES ${icon}
                    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                    RENAME ${program}.png)
        endif()
    endforeach()
    if(EXISTS ${PROJECT_SOURCE_DIR}/src/app/icons/${program}.svg)
        install(FILES ${PROJECT_SOURCE_DIR}/src/app/icons/${program}.svg
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    endif()
endforeach()

# Stripped as Debian strips its own packages (dh_strip): the compilers' notes in .comment go
# with the symbols.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(program polmira calvena transducer-sim)
            set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
            if(EXISTS \"\${file}\")
                execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment \"\${file}\"
                                COMMAND_ERROR_IS_FATAL ANY)
            endif()
        endforeach()
    endif()")

# A man page for each program installed (transducer-sim installs itself in src/sim).
foreach(program polmira calvena transducer-sim)
    if(TARGET ${program})
        configure_file(${brenno_packaging}/linux/${program}.1.in ${brenno_generated}/${program}.1
                       @ONLY)
        brenno_install_gzipped(${brenno_generated}/${program}.1 ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
endforeach()

# The documentation: the README with its screenshots, the licence in Debian's machine-readable
# form and the changelog.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${brenno_packaging}/debian/copyright
        DESTINATION ${brenno_doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/docs/polmira.png ${PROJECT_SOURCE_DIR}/docs/calvena.png
        DESTINATION ${brenno_doc_dir}/docs)
brenno_install_gzipped(${brenno_packaging}/debian/changelog ${brenno_doc_dir})

set(CPACK_PACKAGE_NAME "transducer-tools")
set(CPACK_PACKAGE_VENDOR "Corvanta")
set(CPACK_PACKAGE_CONTACT "Polmira and Calvena maintainers <maintainers@corvanta.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "poll and check measuring transducers on a serial line")
# One line of the extended description a line here (Debian wants lines of at most 80
# characters); an empty line becomes the paragraph separator " .". The closing line end keeps
# CPack from stripping the last line's indentation.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tools for engineers who commission and check electrical measuring transducers
on an RS-485 line. Both programs wake a transducer, read its configuration
record, identify the model, switch to the transducer's own line settings and
poll it over Modbus ASCII, Modbus RTU or IEC 60870-5-101, showing nine measured
values with their units and the transducer's and the computer's clocks, and
logging every poll cycle to a tab-separated UTF-8 file. The windows are in
Russian.

 * polmira, the viewer, with the IEC 60870-5-101 controls (group
   interrogation, read command, link-level read) and the line-delay
   measurement;
 * calvena, the metrology tool, with the clock synchronisation and the
   real-time-clock test;
 * transducer-sim, a simulated transducer served on a pseudo-terminal or a
   serial port, for trying the programs and testing cables.
")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from the binaries (dpkg-shlibdeps); Qt loads the platform plugins, its
# translations and the window's font at run time, which no linker sees.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-liberation2")
include(CPack)
