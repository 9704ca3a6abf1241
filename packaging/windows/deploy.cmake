# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# What a Windows installation of Tessel holds besides tessel.exe, all in one
# folder (Program Files\Tessel): Windows loads DLLs from the executable's
# folder and Qt loads plugins from folders beside it, so the folder runs as
# is. Qt's windeployqt is not part of a cross build; these rules name the few
# libraries and plugins Tessel uses instead.
#
# Sets TESSEL_WINDOWS_ENCODER (also as a global property of that name) to the
# ffmpeg.exe the build tree and the installation use.

# FFmpeg 5.1 with LAME, built from Debian's sources with only what turns
# transport streams into MP4 (../shared/ffmpeg-mingw-recipe). Its checksum is
# pinned here as well as beside it: a changed file must not end up in an
# installer.
set(TESSEL_WINDOWS_ENCODER_DIR ${PROJECT_SOURCE_DIR}/../shared/ffmpeg-mingw CACHE PATH
    "Folder with the prebuilt ffmpeg.exe, its licences and SHA256SUMS")
set(encoder_version 5.1.9)
set(lame_version 3.100)
set(encoder_sha256 eb2d3af254711d7184a9df077025492d6a62916c132dc7d182ae1d7fe7a3b9c2)
get_filename_component(encoder_dir ${TESSEL_WINDOWS_ENCODER_DIR} REALPATH)
set(TESSEL_WINDOWS_ENCODER ${encoder_dir}/ffmpeg.exe)
set_property(GLOBAL PROPERTY TESSEL_WINDOWS_ENCODER ${TESSEL_WINDOWS_ENCODER})
set(encoder_licences ${encoder_dir}/COPYING.LGPLv2.1.txt ${encoder_dir}/COPYING.LAME.txt)
foreach(needed ffmpeg.exe SHA256SUMS COPYING.LGPLv2.1.txt COPYING.LAME.txt)
    if(NOT EXISTS ${encoder_dir}/${needed})
        message(FATAL_ERROR "${encoder_dir}/${needed} is missing: the Windows build ships FFmpeg "
                            "${encoder_version} from ../shared/ffmpeg-mingw beside the checkout "
                            "(set TESSEL_WINDOWS_ENCODER_DIR for another place)")
    endif()
endforeach()
file(STRINGS ${encoder_dir}/SHA256SUMS listed REGEX "^[0-9a-f]+ [ *]ffmpeg\\.exe$")
string(REGEX MATCH "^[0-9a-f]+" listed "${listed}")
file(SHA256 ${TESSEL_WINDOWS_ENCODER} received)
if(NOT listed STREQUAL received OR NOT received STREQUAL encoder_sha256)
    message(FATAL_ERROR "${TESSEL_WINDOWS_ENCODER} is not the FFmpeg ${encoder_version} this build "
                        "ships: its checksum is ${received}, SHA256SUMS beside it says "
                        "'${listed}', expected ${encoder_sha256}")
endif()
# A replaced ffmpeg.exe is checked again at the next build.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${TESSEL_WINDOWS_ENCODER} ${encoder_dir}/SHA256SUMS)
message(STATUS "Encoder for Windows: FFmpeg ${encoder_version} (${TESSEL_WINDOWS_ENCODER}), checksum matches")

configure_file(${CMAKE_CURRENT_LIST_DIR}/encoder-readme.txt.in
               ${PROJECT_BINARY_DIR}/encoder-readme/README.txt @ONLY NEWLINE_STYLE CRLF)
# Tessel's own licence beside tessel.exe, the encoder's beside ffmpeg.exe.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSES/GPL-3.0-or-later.txt DESTINATION . RENAME COPYING.txt)
install(PROGRAMS ${TESSEL_WINDOWS_ENCODER} DESTINATION encoder)
install(FILES ${encoder_licences} ${PROJECT_BINARY_DIR}/encoder-readme/README.txt
        DESTINATION encoder)

# Qt's libraries and the plugins Tessel loads: the Windows platform, its
# native style, and Schannel for the update check's https. QtConcurrent is
# templates only as Tessel uses it: nothing imports its DLL.
set(deployed_libraries
    $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
    $<TARGET_FILE:Qt6::Network>)
install(FILES ${deployed_libraries} DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
install(FILES $<TARGET_FILE:Qt6::QSchannelBackendPlugin> DESTINATION tls)

# MinGW's C++ runtime, as the compiler that built Tessel links it.
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${runtime_path}" OR NOT EXISTS "${runtime_path}")
        message(FATAL_ERROR "MinGW runtime ${runtime} not found")
    endif()
    install(FILES ${runtime_path} DESTINATION .)
endforeach()

# Debian's libstdc++-6.dll carries its debug sections (23.7 MB, 2 MB without).
# CPack strips only targets built here; the copied DLLs are stripped where
# they were installed.
if(NOT CMAKE_STRIP)
    message(FATAL_ERROR "No strip for Windows binaries (x86_64-w64-mingw32-strip)")
endif()
install(CODE "
    file(GLOB_RECURSE deployed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
    foreach(library \${deployed})
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${library}\"
                        RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR \"could not strip \${library}\")
        endif()
    endforeach()
")
