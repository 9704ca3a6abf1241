# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# cmake -DFILE=<program.exe> -DCERTIFICATE=<cert.p12> -P sign.cmake
# Signs the program in place with osslsigncode (SHA-256); the certificate's
# password, if any, comes from TESSEL_SIGNING_PASSWORD.
find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "osslsigncode was not found; it signs the Windows programs (apt-get install osslsigncode)")
endif()
if(NOT EXISTS "${CERTIFICATE}")
    message(FATAL_ERROR "signing certificate ${CERTIFICATE} does not exist")
endif()
set(password)
if(DEFINED ENV{TESSEL_SIGNING_PASSWORD})
    set(password -pass "$ENV{TESSEL_SIGNING_PASSWORD}")
endif()
file(REMOVE "${FILE}.signed")
execute_process(COMMAND ${OSSLSIGNCODE} sign -pkcs12 "${CERTIFICATE}" ${password} -h sha256
                        -n Tessel -in "${FILE}" -out "${FILE}.signed"
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
    file(REMOVE "${FILE}.signed")
    message(FATAL_ERROR "osslsigncode could not sign ${FILE}")
endif()
file(RENAME "${FILE}.signed" "${FILE}")
message(STATUS "Signed: ${FILE}")
