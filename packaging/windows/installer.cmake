# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# The Windows installer, Setup.exe (cpack -G NSIS): the one folder of
# deploy.cmake under Program Files\Tessel, a Start-menu entry, and an
# uninstaller listed in "Apps & features". /S installs and uninstalls silently.
set(CPACK_GENERATOR NSIS)
# The update check opens .../Tessel/Setup.exe: the installer carries that name.
get_filename_component(CPACK_PACKAGE_FILE_NAME ${TESSEL_PUBLISHED_SETUP} NAME_WE)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tessel)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Tessel)
set(CPACK_NSIS_PACKAGE_NAME Tessel)
set(CPACK_NSIS_DISPLAY_NAME Tessel)
# Drawn sharp on scaled displays instead of stretched by Windows.
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(version4 ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
# A 64-bit installer for a 64-bit program: it writes the 64-bit registry view
# and runs where only 64-bit Windows programs do (wine64). Its properties name
# it, as tessel.exe's do.
set(CPACK_NSIS_DEFINES "Target amd64-unicode
  VIProductVersion ${version4}
  VIFileVersion ${version4}
  VIAddVersionKey ProductName Tessel
  VIAddVersionKey CompanyName ${CPACK_PACKAGE_VENDOR}
  VIAddVersionKey FileDescription \\\"Tessel ${PROJECT_VERSION} Setup\\\"
  VIAddVersionKey FileVersion ${PROJECT_VERSION}
  VIAddVersionKey ProductVersion ${PROJECT_VERSION}
  VIAddVersionKey LegalCopyright \\\"${TESSEL_LEGAL_COPYRIGHT}\\\"
  VIAddVersionKey OriginalFilename Setup.exe")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_PACKAGE_EXECUTABLES tessel Tessel)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME tessel.exe)
set(CPACK_NSIS_MUI_ICON ${CMAKE_CURRENT_SOURCE_DIR}/icons/tessel.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_CURRENT_SOURCE_DIR}/icons/tessel.ico)
# A second Setup.exe replaces the installed Tessel instead of leaving two
# entries pointing at one folder.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# CPack writes every value of the uninstall entry as a string; Windows reads
# these two as DWORDs.
set(uninstall_key "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Tessel")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  WriteRegDWORD SHCTX \\\"${uninstall_key}\\\" NoModify 1
  WriteRegDWORD SHCTX \\\"${uninstall_key}\\\" NoRepair 1")
# CPack removes the installer's key, Software\Ostrell\Tessel, but not the
# vendor's key above it; it goes too when nothing else of Ostrell's is in it.
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  DeleteRegKey SHCTX \\\"Software\\\\${CPACK_PACKAGE_VENDOR}\\\\Tessel\\\"
  DeleteRegKey /ifempty SHCTX \\\"Software\\\\${CPACK_PACKAGE_VENDOR}\\\"")
# The installer's licence page: Tessel's GPL, then the LGPL of the FFmpeg it
# ships, each after a word on what it covers.
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_BINARY_DIR}/licence-page.txt)
get_filename_component(encoder_dir ${TESSEL_WINDOWS_ENCODER_DIR} REALPATH)
set(licence_page "")
foreach(part ${CMAKE_CURRENT_SOURCE_DIR}/windows/licence-tessel.txt
             ${PROJECT_SOURCE_DIR}/LICENSES/GPL-3.0-or-later.txt
             ${CMAKE_CURRENT_SOURCE_DIR}/windows/licence-encoder.txt
             ${encoder_dir}/COPYING.LGPLv2.1.txt)
    file(READ ${part} text)
    string(APPEND licence_page "${text}\n")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${part})
endforeach()
file(WRITE ${CPACK_RESOURCE_FILE_LICENSE} "${licence_page}")

include(${CMAKE_CURRENT_LIST_DIR}/signing.cmake)
