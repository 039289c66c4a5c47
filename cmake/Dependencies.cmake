# Third-party libraries, with the same target names in every build tree:
#
#   pavix::jpeg            libjpeg-turbo, libjpeg 6b API (JPEG_LIB_VERSION 62,
#                          with the JCS_EXT_* colour spaces)
#   pavix::yuv             libyuv (picture scaling and pixel-format conversion)
#   pavix::protobuf_lite   protobuf lite runtime
#   PAVIX_PROTOC           the native protoc; its version matches the runtime
#   pavix_protobuf_generate(<target> <file.proto>...)
#                          generates C++ for the .proto files at build time
#   GTest::gtest, GTest::gtest_main, GTest::gmock    when PAVIX_BUILD_TESTS
#
# Native tree: Debian's packages (libjpeg62-turbo-dev, libyuv-dev, libprotobuf-dev,
# protobuf-compiler, libgtest-dev/libgmock-dev).
# Windows trees (cmake/toolchain-<triplet>.cmake): static libraries that
# scripts/build-deps.sh <triplet> builds into PAVIX_DEPS_PREFIX.
#
# Include from the top-level CMakeLists.txt after project().

include_guard(GLOBAL)
include(CheckCXXSourceCompiles)
include(CMakePushCheckState)

# Every tree builds its test programs; the 32-bit Windows tree compiles and
# links them without running them (see cmake/Testing.cmake).
option(PAVIX_BUILD_TESTS "Build the unit tests" ON)
# A 32-bit tree configured when it built no tests (its cache holds an
# earlier run's results) still holds OFF: turn the tests on once.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4 AND DEFINED CACHE{PAVIX_JPEG_6B_API}
   AND NOT DEFINED CACHE{PAVIX_TESTS_IN_EVERY_TREE})
  set(PAVIX_BUILD_TESTS ON CACHE BOOL "Build the unit tests" FORCE)
endif()
set(PAVIX_TESTS_IN_EVERY_TREE ON CACHE INTERNAL "The 32-bit tree builds its tests too")

# --- where the libraries come from ------------------------------------------

if(CMAKE_CROSSCOMPILING)
  if(NOT PAVIX_MINGW_TRIPLET OR NOT PAVIX_DEPS_PREFIX)
    message(FATAL_ERROR
      "Cross builds use -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-<triplet>.cmake "
      "(x86_64-w64-mingw32 or i686-w64-mingw32).")
  endif()
  set(_pavix_stamps "${PAVIX_DEPS_PREFIX}/share/pavix-deps")
  foreach(_dep IN ITEMS libjpeg-turbo libyuv protobuf)
    if(NOT EXISTS "${_pavix_stamps}/${_dep}.stamp")
      message(FATAL_ERROR
        "${_dep} for ${PAVIX_MINGW_TRIPLET} is missing from ${PAVIX_DEPS_PREFIX}.\n"
        "Build the dependencies first:  scripts/build-deps.sh ${PAVIX_MINGW_TRIPLET}")
    endif()
    # Rebuilt dependencies re-run the configure step.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_pavix_stamps}/${_dep}.stamp")
  endforeach()
  # Look in the prefix only, never in the host's or mingw's own directories.
  set(_pavix_in_prefix PATHS "${PAVIX_DEPS_PREFIX}" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
endif()

# --- libjpeg-turbo ----------------------------------------------------------

if(CMAKE_CROSSCOMPILING)
  find_package(libjpeg-turbo CONFIG REQUIRED ${_pavix_in_prefix})
  set(_pavix_jpeg_impl libjpeg-turbo::jpeg-static)
else()
  find_package(JPEG REQUIRED)
  set(_pavix_jpeg_impl JPEG::JPEG)
endif()

add_library(pavix::jpeg INTERFACE IMPORTED)
set_target_properties(pavix::jpeg PROPERTIES INTERFACE_LINK_LIBRARIES ${_pavix_jpeg_impl})

cmake_push_check_state(RESET)
set(CMAKE_REQUIRED_QUIET ON)
set(CMAKE_REQUIRED_LIBRARIES pavix::jpeg)
check_cxx_source_compiles([[
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
static_assert(JPEG_LIB_VERSION == 62, "libjpeg 6b API");
int main() {
  jpeg_decompress_struct cinfo;
  cinfo.out_color_space = JCS_EXT_BGR;
  return cinfo.out_color_space == JCS_RGB;
}]] PAVIX_JPEG_6B_API)
cmake_pop_check_state()
if(NOT PAVIX_JPEG_6B_API)
  message(FATAL_ERROR
    "The libjpeg found (${_pavix_jpeg_impl}) is not libjpeg-turbo with the 6b API "
    "(JPEG_LIB_VERSION 62, JCS_EXT_BGR). Native: install libjpeg62-turbo-dev; "
    "Windows: scripts/build-deps.sh <triplet>.")
endif()

# --- libyuv -----------------------------------------------------------------

find_path(PAVIX_YUV_INCLUDE_DIR libyuv/scale_argb.h PATH_SUFFIXES include ${_pavix_in_prefix})
find_library(PAVIX_YUV_LIBRARY NAMES yuv PATH_SUFFIXES lib ${_pavix_in_prefix})
if(NOT PAVIX_YUV_INCLUDE_DIR OR NOT PAVIX_YUV_LIBRARY)
  if(CMAKE_CROSSCOMPILING)
    message(FATAL_ERROR "libyuv not found in ${PAVIX_DEPS_PREFIX}: "
                        "run scripts/build-deps.sh ${PAVIX_MINGW_TRIPLET}")
  endif()
  message(FATAL_ERROR "libyuv not found: install libyuv-dev")
endif()
add_library(pavix::yuv UNKNOWN IMPORTED)
set_target_properties(pavix::yuv PROPERTIES
  IMPORTED_LOCATION "${PAVIX_YUV_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${PAVIX_YUV_INCLUDE_DIR}")

# --- protobuf lite runtime --------------------------------------------------

if(CMAKE_CROSSCOMPILING)
  find_path(PAVIX_PROTOBUF_INCLUDE_DIR google/protobuf/message_lite.h
            PATH_SUFFIXES include ${_pavix_in_prefix})
  find_library(PAVIX_PROTOBUF_LITE_LIBRARY NAMES protobuf-lite
               PATH_SUFFIXES lib ${_pavix_in_prefix})
  if(NOT PAVIX_PROTOBUF_INCLUDE_DIR OR NOT PAVIX_PROTOBUF_LITE_LIBRARY)
    message(FATAL_ERROR
      "protobuf-lite not found in ${PAVIX_DEPS_PREFIX}: "
      "run scripts/build-deps.sh ${PAVIX_MINGW_TRIPLET}")
  endif()
  add_library(pavix::protobuf_lite STATIC IMPORTED)
  set_target_properties(pavix::protobuf_lite PROPERTIES
    IMPORTED_LOCATION "${PAVIX_PROTOBUF_LITE_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${PAVIX_PROTOBUF_INCLUDE_DIR}")
  set(_pavix_protobuf_include "${PAVIX_PROTOBUF_INCLUDE_DIR}")
else()
  find_package(Protobuf REQUIRED)
  if(NOT TARGET protobuf::libprotobuf-lite)
    message(FATAL_ERROR "libprotobuf-lite not found: install libprotobuf-dev")
  endif()
  add_library(pavix::protobuf_lite INTERFACE IMPORTED)
  set_target_properties(pavix::protobuf_lite PROPERTIES
    INTERFACE_LINK_LIBRARIES protobuf::libprotobuf-lite)
  set(_pavix_protobuf_include "${Protobuf_INCLUDE_DIR}")
endif()

# Code generated by protoc only builds against the runtime of the same release.
find_program(PAVIX_PROTOC protoc PATHS /usr/bin NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT PAVIX_PROTOC)
  message(FATAL_ERROR "/usr/bin/protoc not found: install protobuf-compiler")
endif()
execute_process(COMMAND "${PAVIX_PROTOC}" --version
                OUTPUT_VARIABLE _pavix_protoc_out ERROR_QUIET
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT _pavix_protoc_out MATCHES "([0-9]+)\\.([0-9]+)\\.([0-9]+)")
  message(FATAL_ERROR "Cannot read the version of ${PAVIX_PROTOC}: '${_pavix_protoc_out}'")
endif()
math(EXPR _pavix_protoc_number
     "${CMAKE_MATCH_1} * 1000000 + ${CMAKE_MATCH_2} * 1000 + ${CMAKE_MATCH_3}")
file(STRINGS "${_pavix_protobuf_include}/google/protobuf/stubs/common.h" _pavix_runtime_line
     REGEX "^#define GOOGLE_PROTOBUF_VERSION [0-9]+")
if(NOT _pavix_runtime_line MATCHES "GOOGLE_PROTOBUF_VERSION ([0-9]+)")
  message(FATAL_ERROR
    "No GOOGLE_PROTOBUF_VERSION in ${_pavix_protobuf_include}/google/protobuf/stubs/common.h")
endif()
set(_pavix_runtime_number ${CMAKE_MATCH_1})
if(NOT _pavix_protoc_number EQUAL _pavix_runtime_number)
  message(FATAL_ERROR
    "${PAVIX_PROTOC} is '${_pavix_protoc_out}' (${_pavix_protoc_number}) but the protobuf "
    "runtime headers in ${_pavix_protobuf_include} are GOOGLE_PROTOBUF_VERSION "
    "${_pavix_runtime_number}. They must be the same release: update protobuf-compiler and "
    "libprotobuf-dev together, then rerun scripts/build-deps.sh for the Windows trees.")
endif()
message(STATUS "protobuf: ${PAVIX_PROTOC} (${_pavix_protoc_out}), runtime ${_pavix_protobuf_include}")

# pavix_protobuf_generate(<target> <file.proto>...)
# Runs protoc at build time; <name>.pb.cc/.pb.h land in
# ${CMAKE_CURRENT_BINARY_DIR}/<target>_proto, which becomes a PUBLIC include
# directory of <target>, and <target> links pavix::protobuf_lite PUBLIC (so the
# target must use the keyword form of target_link_libraries). Each file is
# compiled with its own directory as the import path.
function(pavix_protobuf_generate target)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "pavix_protobuf_generate: no target '${target}'")
  endif()
  if(ARGC LESS 2)
    message(FATAL_ERROR "pavix_protobuf_generate(${target}): no .proto files given")
  endif()
  set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/${target}_proto")
  file(MAKE_DIRECTORY "${out_dir}")
  set(generated)
  foreach(proto IN LISTS ARGN)
    get_filename_component(proto_abs "${proto}" ABSOLUTE)
    get_filename_component(proto_dir "${proto_abs}" DIRECTORY)
    get_filename_component(proto_name "${proto_abs}" NAME_WLE)
    set(pb_cc "${out_dir}/${proto_name}.pb.cc")
    set(pb_h "${out_dir}/${proto_name}.pb.h")
    add_custom_command(
      OUTPUT "${pb_cc}" "${pb_h}"
      COMMAND "${PAVIX_PROTOC}" --proto_path=${proto_dir} --cpp_out=${out_dir} ${proto_abs}
      DEPENDS "${proto_abs}" "${PAVIX_PROTOC}"
      COMMENT "protoc ${proto}"
      VERBATIM)
    list(APPEND generated "${pb_cc}" "${pb_h}")
  endforeach()
  target_sources(${target} PRIVATE ${generated})
  target_include_directories(${target} PUBLIC "${out_dir}")
  target_link_libraries(${target} PUBLIC pavix::protobuf_lite)
  # A custom command only drives targets of its own directory; when <target>
  # lives elsewhere, a target of this directory runs protoc before it builds.
  get_target_property(target_dir ${target} SOURCE_DIR)
  if(NOT target_dir STREQUAL CMAKE_CURRENT_SOURCE_DIR)
    add_custom_target(${target}_protoc DEPENDS ${generated})
    add_dependencies(${target} ${target}_protoc)
  endif()
endfunction()

# --- GoogleTest / GoogleMock ------------------------------------------------

if(PAVIX_BUILD_TESTS)
  if(CMAKE_CROSSCOMPILING)
    if(NOT EXISTS "${_pavix_stamps}/googletest.stamp")
      message(FATAL_ERROR
        "GoogleTest for ${PAVIX_MINGW_TRIPLET} is missing from ${PAVIX_DEPS_PREFIX}.\n"
        "Build the dependencies first:  scripts/build-deps.sh ${PAVIX_MINGW_TRIPLET}\n"
        "(or configure with -DPAVIX_BUILD_TESTS=OFF)")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 "${_pavix_stamps}/googletest.stamp")
    find_package(GTest CONFIG REQUIRED ${_pavix_in_prefix})
  else()
    find_package(GTest REQUIRED)
  endif()
  foreach(_t IN ITEMS GTest::gtest GTest::gtest_main GTest::gmock)
    if(NOT TARGET ${_t})
      message(FATAL_ERROR "GoogleTest found without ${_t}: install libgtest-dev and libgmock-dev")
    endif()
  endforeach()
endif()

unset(_pavix_stamps)
unset(_pavix_in_prefix)
unset(_pavix_jpeg_impl)
unset(_pavix_protobuf_include)
unset(_pavix_protoc_out)
unset(_pavix_protoc_number)
unset(_pavix_runtime_line)
unset(_pavix_runtime_number)
