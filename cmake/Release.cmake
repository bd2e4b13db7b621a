# What a release needs of every Windows build: the same bytes from the same sources
# (one fixed time for the PE time stamps and the archive stamps of what the build
# makes), the release's version in SETUP.EXE's version record, and an Authenticode
# signature on both programs when a certificate is given.

set(SETUP_VERSION "" CACHE STRING
    "Version record of both programs, a.b.c.d (empty: the product version of the carried QUORIN32.EXE, else 1.0.0.0)")
set(SETUP_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file with the code-signing certificate and key; its password comes from the environment variable SETUP_SIGN_PASSWORD at build time")
set(SETUP_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signatures (empty: no time stamp)")
find_program(SETUP_SIGN_TOOL osslsigncode DOC "osslsigncode, which signs the programs")

if(DEFINED SETUP_SIGN_PASSWORD)
  # A -D value would stay in CMakeCache.txt for anyone to read.
  unset(SETUP_SIGN_PASSWORD CACHE)
  message(FATAL_ERROR "SETUP_SIGN_PASSWORD is read from the environment when the build signs, "
                      "never from a -D option: it would be written into CMakeCache.txt")
endif()

if(NOT SETUP_VERSION STREQUAL "")
  set(version_ok FALSE)
  if(SETUP_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    set(version_ok TRUE)
    foreach(i 1 2 3 4)
      string(LENGTH "${CMAKE_MATCH_${i}}" digits)
      if(digits GREATER 5 OR CMAKE_MATCH_${i} GREATER 65535)
        set(version_ok FALSE)
      endif()
    endforeach()
  endif()
  if(NOT version_ok)
    message(FATAL_ERROR "SETUP_VERSION \"${SETUP_VERSION}\" is not a version: "
                        "four numbers of 0 to 65535 separated by dots, such as 1.6.0.0")
  endif()
endif()

# ---- The fixed time, found again on every build (a new commit changes it); a change
# links the programs and packs the payload again.
set(SETUP_RELEASE_DIR ${CMAKE_BINARY_DIR}/release)
set(SETUP_FIXED_TIME_FILE ${SETUP_RELEASE_DIR}/fixed-time)
set(SETUP_SIGNING_STAMP ${SETUP_RELEASE_DIR}/signing-certificate)
# The configure says which time the build takes and where it came from; a checkout that
# git cannot read stops it here with git's reason.
execute_process(COMMAND ${SETUP_SOURCE_ROOT}/tools/fixed-time --say ${SETUP_SOURCE_ROOT} ${SETUP_FIXED_TIME_FILE}
                RESULT_VARIABLE fixed_time_status OUTPUT_VARIABLE fixed_time_line
                ERROR_VARIABLE fixed_time_error OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT fixed_time_status EQUAL 0)
  message(FATAL_ERROR "${fixed_time_error}")
endif()
message(STATUS "${fixed_time_line}")
set(release_commands COMMAND ${SETUP_SOURCE_ROOT}/tools/fixed-time ${SETUP_SOURCE_ROOT} ${SETUP_FIXED_TIME_FILE})
set(release_byproducts ${SETUP_FIXED_TIME_FILE})
if(SETUP_SIGN_PKCS12)
  list(APPEND release_commands
       COMMAND ${SETUP_SOURCE_ROOT}/tools/sign-program.sh --stamp ${SETUP_SIGN_PKCS12} ${SETUP_SIGNING_STAMP})
  list(APPEND release_byproducts ${SETUP_SIGNING_STAMP})
endif()
add_custom_target(release_inputs ${release_commands} BYPRODUCTS ${release_byproducts} VERBATIM)

# Every link runs with SOURCE_DATE_EPOCH at the fixed time: the linker takes it for
# the PE time stamp.
set(SETUP_AT_FIXED_TIME ${SETUP_SOURCE_ROOT}/tools/fixed-time --run ${SETUP_FIXED_TIME_FILE})
set(CMAKE_C_LINKER_LAUNCHER ${SETUP_AT_FIXED_TIME})
set(CMAKE_CXX_LINKER_LAUNCHER ${SETUP_AT_FIXED_TIME})

# release_link_at_fixed_time(TARGET...): what ships links again when the fixed time changes.
function(release_link_at_fixed_time)
  foreach(target ${ARGN})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${SETUP_FIXED_TIME_FILE})
    add_dependencies(${target} release_inputs)
  endforeach()
endfunction()

# ---- Signing. The description and the address that Windows shows with the signature
# are the product name of the version record and the publisher's home page, read from
# the sources that hold them.
if(SETUP_SIGN_PKCS12)
  file(STRINGS ${SETUP_SOURCE_ROOT}/Setup/ShareArchive/resources/setup.rc product_line
       REGEX "VALUE \"ProductName\"" ENCODING UTF-8)
  file(STRINGS ${SETUP_SOURCE_ROOT}/Setup/ShareArchive/integration/Association.cpp home_line
       REGEX "PublisherHomePage = \"")
  if(NOT product_line MATCHES "\"ProductName\", \"([^\"]+)\"")
    message(FATAL_ERROR "No ProductName in the version record of resources/setup.rc")
  endif()
  set(SETUP_SIGN_DESCRIPTION "${CMAKE_MATCH_1}")
  if(NOT home_line MATCHES "PublisherHomePage = \"([^\"]+)\"")
    message(FATAL_ERROR "No PublisherHomePage in integration/Association.cpp")
  endif()
  set(SETUP_SIGN_URL "${CMAKE_MATCH_1}")
  message(STATUS "Signing both programs with ${SETUP_SIGN_PKCS12} "
                 "(password from SETUP_SIGN_PASSWORD when the build signs)")
endif()

# release_sign_last(TARGET [ALSO_REMOVE FILE...]): signs the target's program as the
# last step of its link. A failure deletes it and the ALSO_REMOVE files.
function(release_sign_last target)
  if(NOT SETUP_SIGN_PKCS12)
    return()
  endif()
  cmake_parse_arguments(S "" "" "ALSO_REMOVE" ${ARGN})
  set(remove "")
  foreach(file ${S_ALSO_REMOVE})
    list(APPEND remove --also-remove ${file})
  endforeach()
  set(timestamp "")
  if(SETUP_SIGN_TIMESTAMP_URL)
    set(timestamp --timestamp ${SETUP_SIGN_TIMESTAMP_URL})
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${SETUP_SIGNING_STAMP})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${SETUP_SOURCE_ROOT}/tools/sign-program.sh --tool ${SETUP_SIGN_TOOL} --pkcs12 ${SETUP_SIGN_PKCS12}
            --description ${SETUP_SIGN_DESCRIPTION} --url ${SETUP_SIGN_URL} ${timestamp} ${remove}
            $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
