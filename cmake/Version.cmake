# The product's one version number is the project's VERSION (CMakeLists.txt).
# It becomes generated/pavix_version.h in the build tree, which the resource
# scripts of pavix.exe and RovoFilter.ax (their VERSIONINFO) and the
# installers' build (scripts/dist/make-dist.sh: names and version records)
# read.

foreach(_part MAJOR MINOR PATCH TWEAK)
  if("${PROJECT_VERSION_${_part}}" STREQUAL "")
    set(PAVIX_VERSION_${_part} 0)
  else()
    set(PAVIX_VERSION_${_part} ${PROJECT_VERSION_${_part}})
  endif()
endforeach()
unset(_part)
set(PAVIX_VERSION_TEXT ${PROJECT_VERSION})
set(PAVIX_COPYRIGHT "Copyright (C) 2026 The Pavix developers")

set(PAVIX_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/pavix_version.h.in
               ${PAVIX_GENERATED_DIR}/pavix_version.h @ONLY)
# What a resource script that includes shared/version_info.rc depends on.
set(PAVIX_VERSION_RC_DEPENDS
  ${PROJECT_SOURCE_DIR}/shared/version_info.rc ${PAVIX_GENERATED_DIR}/pavix_version.h)
