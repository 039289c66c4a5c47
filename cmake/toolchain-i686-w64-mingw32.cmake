# Cross build for 32-bit Windows with mingw-w64 (posix thread model).
#   cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake ...
# Dependencies come from scripts/build-deps.sh i686-w64-mingw32.
set(PAVIX_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
