# Settings shared by every Windows target: static runtime, small code, system DLLs only.
add_compile_definitions(WINVER=0x0501 _WIN32_WINNT=0x0501 _WIN32_IE=0x0600 NOMINMAX
                        WIN32_LEAN_AND_MEAN STRICT)
# The product formats with the system's wsprintf and msvcrt, never with MinGW's own printf.
set(SETUP_PRODUCT_COMPILE_OPTIONS -D__USE_MINGW_ANSI_STDIO=0 -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections
                                  -fno-asynchronous-unwind-tables)
set(SETUP_STATIC_LINK_OPTIONS -static -static-libgcc -static-libstdc++)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(SETUP_MANIFEST_ARCH x86)
  set(SETUP_PRODUCT_LINK_OPTIONS ${SETUP_STATIC_LINK_OPTIONS} -s -Wl,--gc-sections
      -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
      -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
else()
  set(SETUP_MANIFEST_ARCH amd64)
  set(SETUP_PRODUCT_LINK_OPTIONS ${SETUP_STATIC_LINK_OPTIONS} -Wl,--gc-sections)
endif()
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
