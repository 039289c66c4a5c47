# The program's folders are layers, each a library target of its own:
#
#   shared  <  link, frames, usb  <  record, ui  <  app
#   shared  <  mfcamera  <  app      (the Windows 11 camera; beside record, ui)
#
# A layer's headers are reachable only by the targets that link it: each
# layer publishes an include directory holding just its own folder (a link
# named after the folder), not the repository root. So
# `#include "app/rovo_engine.h"` in ui/ does not build, because pavix_ui does
# not link pavix_app.
#
#   pavix_layer(<target> <folder> [USES <targets>...] [SOURCES <files>...])
#       defines the static library <target> from the folder's <files> and
#       links the layers it USES (their headers come with them).

include_guard(GLOBAL)

function(pavix_layer_include_dir target folder)
  set(root ${CMAKE_BINARY_DIR}/layers/${folder})
  if(NOT EXISTS ${root}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

function(pavix_layer target folder)
  cmake_parse_arguments(ARG "" "" "USES;SOURCES" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  pavix_layer_include_dir(${target} ${folder})
  target_link_libraries(${target} PUBLIC pavix_warnings ${ARG_USES})
endfunction()
