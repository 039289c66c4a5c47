# Shared part of the mingw-w64 toolchain files. The including file sets
# PAVIX_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR first.
#
# Compilers are the posix thread model ones (std::thread, std::mutex). Every
# exe and dll is linked with -static so that libstdc++, libgcc and winpthread
# are built in: the programs import only system DLLs (KERNEL32, msvcrt, ...).

if(NOT PAVIX_MINGW_TRIPLET)
  message(FATAL_ERROR "toolchain-mingw-common.cmake: PAVIX_MINGW_TRIPLET is not set; "
                      "use cmake/toolchain-<triplet>.cmake as the toolchain file")
endif()

set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${PAVIX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PAVIX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${PAVIX_MINGW_TRIPLET}-windres)

# Prefix holding the cross-built libraries (scripts/build-deps.sh <triplet>).
if(DEFINED ENV{PAVIX_DEPS_DIR} AND NOT "$ENV{PAVIX_DEPS_DIR}" STREQUAL "")
  set(_pavix_deps_root "$ENV{PAVIX_DEPS_DIR}")
else()
  set(_pavix_deps_root "$ENV{HOME}/.cache/pavix-deps")
endif()
set(PAVIX_DEPS_PREFIX "${_pavix_deps_root}/${PAVIX_MINGW_TRIPLET}" CACHE PATH
    "Prefix of the cross-built dependencies for ${PAVIX_MINGW_TRIPLET}")
unset(_pavix_deps_root)

# try_compile() projects re-read this file: hand them the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PAVIX_DEPS_PREFIX)

set(CMAKE_FIND_ROOT_PATH "${PAVIX_DEPS_PREFIX}" "/usr/${PAVIX_MINGW_TRIPLET}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
