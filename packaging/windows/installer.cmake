# The Windows installer, Setup.exe (cpack -G NSIS): the one folder of
# deploy.cmake under Program Files\Tessel, a Start-menu entry, and an
# uninstaller listed in "Apps & features". /S installs and uninstalls silently.
set(CPACK_GENERATOR NSIS)
# The update check opens .../Tessel/Setup.exe: the installer carries that name.
set(CPACK_PACKAGE_FILE_NAME Setup)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tessel)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Tessel)
set(CPACK_NSIS_PACKAGE_NAME Tessel)
set(CPACK_NSIS_DISPLAY_NAME Tessel)
# A 64-bit installer for a 64-bit program: it writes the 64-bit registry view
# and runs where only 64-bit Windows programs do (wine64).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_PACKAGE_EXECUTABLES tessel Tessel)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME tessel.exe)
set(CPACK_NSIS_MUI_ICON ${CMAKE_CURRENT_SOURCE_DIR}/icons/tessel.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_CURRENT_SOURCE_DIR}/icons/tessel.ico)
# A second Setup.exe replaces the installed Tessel instead of leaving two
# entries pointing at one folder.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The installer's licence page: what the user agrees to is FFmpeg's GPL.
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_BINARY_DIR}/licence-page.txt)
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/windows/licence-page.txt licence_intro)
file(READ /usr/share/common-licenses/GPL-3 licence_text)
file(WRITE ${CPACK_RESOURCE_FILE_LICENSE} "${licence_intro}\n${licence_text}")
