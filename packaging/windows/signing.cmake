# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Authenticode signatures, when the build is given a certificate: tessel.exe
# and ffmpeg.exe as they are installed, Setup.exe and its uninstaller as
# makensis writes them (osslsigncode, Debian's package of that name).
#   cmake -DTESSEL_SIGNING_CERTIFICATE=/path/to/cert.p12 ...   or, at install
#   and cpack time, the environment variable of the same name; the PKCS#12
#   file's password, if any, in TESSEL_SIGNING_PASSWORD.
# Without one the files are left unsigned, and installing and packaging say so.
set(TESSEL_SIGNING_CERTIFICATE "" CACHE FILEPATH
    "PKCS#12 file to sign the Windows programs with (password in TESSEL_SIGNING_PASSWORD)")
set(sign_script ${CMAKE_CURRENT_LIST_DIR}/sign.cmake)
if(TESSEL_SIGNING_CERTIFICATE OR DEFINED ENV{TESSEL_SIGNING_CERTIFICATE})
    message(STATUS "Windows programs are signed with ${TESSEL_SIGNING_CERTIFICATE}$ENV{TESSEL_SIGNING_CERTIFICATE}")
else()
    message(STATUS "Windows programs are left unsigned (no TESSEL_SIGNING_CERTIFICATE)")
endif()

install(CODE "
    set(certificate \"\$ENV{TESSEL_SIGNING_CERTIFICATE}\")
    if(NOT certificate)
        set(certificate \"${TESSEL_SIGNING_CERTIFICATE}\")
    endif()
    foreach(program tessel.exe encoder/ffmpeg.exe)
        set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${program}\")
        if(certificate)
            execute_process(COMMAND \"${CMAKE_COMMAND}\" -DFILE=\${file} -DCERTIFICATE=\${certificate}
                                    -P \"${sign_script}\" RESULT_VARIABLE failed)
            if(failed)
                message(FATAL_ERROR \"could not sign \${file}\")
            endif()
        else()
            message(STATUS \"Unsigned: \${file} (no TESSEL_SIGNING_CERTIFICATE)\")
        endif()
    endforeach()
")

# makensis runs the same script on Setup.exe and on the uninstaller before it
# packs it, when CPack is given a certificate.
configure_file(${CMAKE_CURRENT_LIST_DIR}/cpack-signing.cmake.in
               ${PROJECT_BINARY_DIR}/cpack-signing.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/cpack-signing.cmake)
