# Installation (both programs, the simulator, desktop entries, icons) and the Debian package:
#   cmake --install <build> [--prefix DIR]
#   (cd <build> && cpack -G DEB)
include(GNUInstallDirs)

foreach(program polmira calvena)
    if(NOT TARGET ${program})
        continue()
    endif()
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/${program}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
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

set(CPACK_PACKAGE_NAME "transducer-tools")
set(CPACK_PACKAGE_VENDOR "Corvanta")
set(CPACK_PACKAGE_CONTACT "Transducer tools maintainers <root@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Polmira and Calvena: polling and checking measuring transducers on a serial line")
set(CPACK_PACKAGE_DESCRIPTION
    "Polmira (viewer) and Calvena (metrology tool) wake a measuring transducer on a serial line,\
 read its configuration, poll it over Modbus ASCII/RTU or IEC 60870-5-101 and log its values.\
 transducer-sim serves a simulated transducer on a pseudo-terminal or a serial port.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.36), libstdc++6 (>= 12), libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), fonts-liberation2")
include(CPack)
