# Settings shared by every Windows target: static runtime, small code, system DLLs only.
add_compile_definitions(WINVER=0x0501 _WIN32_WINNT=0x0501 _WIN32_IE=0x0600 NOMINMAX
                        WIN32_LEAN_AND_MEAN STRICT)
# The product formats with the system's wsprintf, never with MinGW's own printf, and
# needs nothing of the C++ runtime: no exceptions, no RTTI, no guarded statics. No
# -fdata-sections: for PE targets GCC then gives zero-initialised buffers room in the file.
set(SETUP_PRODUCT_COMPILE_OPTIONS -D__USE_MINGW_ANSI_STDIO=0 -fno-exceptions -fno-rtti -fno-threadsafe-statics
                                  -ffunction-sections -fno-asynchronous-unwind-tables -fno-ident)
set(SETUP_STATIC_LINK_OPTIONS -static -static-libgcc -static-libstdc++)
# SETUP.EXE itself links no C runtime (msvcrt.dll is missing on Windows 95 and NT 3.51):
# its own entry point (shell/Runtime.cpp), system DLLs, and libgcc for compiler helpers
# (64-bit division, stack probes), which goes last on its link line.
set(SETUP_PROGRAM_LIBRARIES kernel32 user32 advapi32 shell32 ole32 uuid)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(SETUP_MANIFEST_ARCH x86)
  set(SETUP_PRODUCT_LINK_OPTIONS -nostdlib -Wl,-e,_SetupStartup -s -Wl,--gc-sections
      -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
      -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
else()
  set(SETUP_MANIFEST_ARCH amd64)
  set(SETUP_PRODUCT_LINK_OPTIONS -nostdlib -Wl,-e,SetupStartup -Wl,--gc-sections)
endif()
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

# The nine installed files (resources/InstallFiles.def), in the install's order:
# SETUP_INSTALL_FILES, and SETUP_APPLICATION_FILES without SETUP.EXE, which the build makes.
set(install_files_def ${SETUP_SOURCE_ROOT}/Setup/ShareArchive/resources/InstallFiles.def)
set_property(DIRECTORY ${SETUP_SOURCE_ROOT} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${install_files_def})
file(STRINGS ${install_files_def} install_file_lines REGEX "^INSTALL_FILE\\(")
set(SETUP_INSTALL_FILES "")
foreach(line IN LISTS install_file_lines)
  string(REGEX REPLACE "^INSTALL_FILE\\(\"([^\"]+)\".*" "\\1" name "${line}")
  list(APPEND SETUP_INSTALL_FILES ${name})
endforeach()
set(SETUP_APPLICATION_FILES ${SETUP_INSTALL_FILES})
list(REMOVE_ITEM SETUP_APPLICATION_FILES SETUP.EXE)
