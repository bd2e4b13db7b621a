# What a release needs of every Windows build: the same bytes from the same sources
# (one fixed time for the PE time stamps and the archive stamps of what the build
# makes).

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
