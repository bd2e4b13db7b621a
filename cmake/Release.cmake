# What a release needs of every Windows build: the same bytes from the same sources
# (one fixed time for the PE time stamps and the archive stamps of what the build
# makes), and the release's version in SETUP.EXE's version record.

set(SETUP_VERSION "" CACHE STRING
    "Version record of both programs, a.b.c.d (empty: the product version of the carried QUORIN32.EXE, else 1.0.0.0)")
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
set(release_commands COMMAND ${SETUP_SOURCE_ROOT}/tools/fixed-time ${SETUP_SOURCE_ROOT} ${SETUP_FIXED_TIME_FILE})
set(release_byproducts ${SETUP_FIXED_TIME_FILE})
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
