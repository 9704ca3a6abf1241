# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Lays out what the publisher uploads to the download host, as the update
# check asks for it:
#   <OUT>/Tessel/current_tessel.txt   the build number and a line end
#   <OUT>/Tessel/<SETUP_NAME>         the Windows installer
#   <OUT>/Tessel/<DEB_NAME>           the Debian package
# cmake -DBUILD_NUMBER=405 -DOUT=dir -DDEB=built.deb -DDEB_NAME=tessel_amd64.deb
#       -DSETUP_NAME=Setup.exe (-DSETUP=built/Setup.exe | -DWINDOWS_BUILD=dir) -P publish.cmake
# Without SETUP, Setup.exe is built in the Windows build WINDOWS_BUILD, which is
# configured with the windows preset first when it is that preset's folder.
cmake_minimum_required(VERSION 3.21)
foreach(needed BUILD_NUMBER OUT DEB DEB_NAME SETUP_NAME)
    if(NOT DEFINED ${needed})
        message(FATAL_ERROR "publish.cmake needs -D${needed}=...")
    endif()
endforeach()

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed)
    if(failed)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "publish: '${command}' failed (${failed})")
    endif()
endfunction()

if(NOT DEFINED SETUP)
    if(NOT DEFINED WINDOWS_BUILD)
        message(FATAL_ERROR "publish.cmake needs -DSETUP=... or -DWINDOWS_BUILD=...")
    endif()
    get_filename_component(source ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
    set(toolchain ${source}/../shared/qt6-mingw/lib/cmake/Qt6/qt.toolchain.cmake)
    if(NOT EXISTS ${WINDOWS_BUILD}/CMakeCache.txt)
        if(NOT WINDOWS_BUILD STREQUAL "${source}/build/windows" OR NOT EXISTS ${toolchain})
            message(FATAL_ERROR
                "publish: no Windows build in ${WINDOWS_BUILD} to make ${SETUP_NAME} in, and none "
                "can be made there (the windows preset needs ../shared/qt6-mingw and "
                "../shared/ffmpeg-mingw beside the checkout). Build one with "
                "scripts/build-windows.sh, or configure with -DTESSEL_WINDOWS_BUILD_DIR=<folder of "
                "a configured Windows build>.")
        endif()
        message(STATUS "publish: configuring the Windows build in ${WINDOWS_BUILD}")
        run(${CMAKE_COMMAND} --preset windows WORKING_DIRECTORY ${source})
    endif()
    message(STATUS "publish: building ${SETUP_NAME} in ${WINDOWS_BUILD}")
    run(${CMAKE_COMMAND} --build ${WINDOWS_BUILD})
    run(${CMAKE_CPACK_COMMAND} --config ${WINDOWS_BUILD}/CPackConfig.cmake -B ${WINDOWS_BUILD}/package)
    set(SETUP ${WINDOWS_BUILD}/package/${SETUP_NAME})
endif()

foreach(package DEB SETUP)
    if(NOT EXISTS ${${package}})
        message(FATAL_ERROR "publish: ${${package}} is missing; nothing was laid out")
    endif()
endforeach()

# Only the three files: a stale package of an older layout must not be uploaded.
set(folder ${OUT}/Tessel)
file(REMOVE_RECURSE ${folder})
file(MAKE_DIRECTORY ${folder})
file(COPY_FILE ${SETUP} ${folder}/${SETUP_NAME})
file(COPY_FILE ${DEB} ${folder}/${DEB_NAME})
file(WRITE ${folder}/current_tessel.txt "${BUILD_NUMBER}\n")
message(STATUS "publish: ${folder}/ holds ${SETUP_NAME}, ${DEB_NAME} and current_tessel.txt "
               "(${BUILD_NUMBER}). Upload them to the download host's /Tessel/, "
               "current_tessel.txt last.")
