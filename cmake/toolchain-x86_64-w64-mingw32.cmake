# Cross build for 64-bit Windows with mingw-w64 (posix thread model).
#   cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake ...
# Dependencies come from scripts/build-deps.sh x86_64-w64-mingw32.
set(PAVIX_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
