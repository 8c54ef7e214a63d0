# SPDX-License-Identifier: MIT
# The Windows distribution: both programs and the simulator in bin/, the licence and the README,
# packed by CPack as an installer (NSIS: Start-menu entries, an uninstaller, the licence page)
# and as a portable zip:
#   cmake --workflow --preset windows-package      (or ./run package)

foreach(program polmira calvena)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION bin)
    endif()
endforeach()
# Windows' own editors want CR LF line ends: the licence and the README are given them.
foreach(document LICENSE README.md)
    file(READ ${PROJECT_SOURCE_DIR}/${document} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    get_filename_component(name ${document} NAME_WE)
    set(converted ${PROJECT_BINARY_DIR}/packaging/${name}.txt)
    file(WRITE ${converted} "${text}")
    install(FILES ${converted} DESTINATION .)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/docs/polmira-windows-polling.png
              ${PROJECT_SOURCE_DIR}/docs/calvena-windows-polling.png
        DESTINATION docs)

set(CPACK_PACKAGE_NAME "transducer-tools")
set(CPACK_PACKAGE_VENDOR "Corvanta")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Polmira and Calvena: poll and check measuring transducers")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Corvanta\\\\Transducer tools")
# The uninstaller's entry in the registry (…\CurrentVersion\Uninstall\transducer-tools).
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "transducer-tools")
set(CPACK_PACKAGE_FILE_NAME "transducer-tools-${PROJECT_VERSION}-windows-x64")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_BINARY_DIR}/packaging/LICENSE.txt)
set(CPACK_STRIP_FILES ON)
# Start-menu entries: executable name, then the entry's text.
set(CPACK_PACKAGE_EXECUTABLES polmira Polmira calvena Calvena)
set(CPACK_NSIS_DISPLAY_NAME "Polmira and Calvena ${PROJECT_VERSION}")
set(CPACK_NSIS_PACKAGE_NAME "Polmira and Calvena")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_INSTALLED_ICON_NAME bin\\\\polmira.exe)
set(CPACK_NSIS_CONTACT "maintainers@corvanta.example.org")
if(EXISTS ${PROJECT_SOURCE_DIR}/src/app/win32/polmira.ico)
    set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/src/app/win32/polmira.ico)
    set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/src/app/win32/polmira.ico)
endif()
# A 64-bit installer for 64-bit programs: it installs into the 64-bit Program Files and registers
# its uninstaller in the 64-bit registry (and runs where no 32-bit layer is installed).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_GENERATOR NSIS ZIP)
include(CPack)
