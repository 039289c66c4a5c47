# Warnings for our own code, sanitizers, and the Windows target settings.

add_library(pavix_warnings INTERFACE)
target_compile_options(pavix_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align -Wformat=2
  $<$<CXX_COMPILER_ID:GNU>:-Wlogical-op -Wduplicated-cond>)

# COM interfaces have no virtual destructors by design: objects are
# destroyed through Release, never through an interface pointer. (An
# interface library, so that the option comes after pavix_warnings'.)
add_library(pavix_com_warnings INTERFACE)
target_compile_options(pavix_com_warnings INTERFACE -Wno-non-virtual-dtor)

if(WIN32)
  # Windows 7 and later.
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()

if(PAVIX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(PAVIX_FUZZ)
  # Coverage feedback for libFuzzer everywhere; only the fuzz targets link
  # libFuzzer's own main.
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=fuzzer-no-link)
endif()

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

if(WIN32 AND CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux")
  # Windows programs of the build run under 64-bit Wine, in a prefix of the
  # build tree's own (never the user's).
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "${PROJECT_SOURCE_DIR}/scripts/wine-exec.sh;--prefix;${CMAKE_BINARY_DIR}/wineprefix")
endif()
