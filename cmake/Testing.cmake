# pavix_add_gtest(<name> SOURCES <files...> [LIBS <targets...>])
# A GoogleTest program registered with CTest. Natively every test case is a
# CTest test of its own; a Windows test program runs as one CTest test under
# Wine (a Wine start costs far more than a test case) and its cases are
# counted from its XML report. In a tree whose programs cannot run where it
# is built (PAVIX_RUN_TESTS off) the program is compiled and linked only.
include(GoogleTest)

# A 32-bit Windows tree cross-built on Linux cannot run its programs: these
# machines have no 32-bit execution, and Wine here runs 64-bit programs
# only. Its CTest suite holds only the checks that read its binaries.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux")
  set(PAVIX_RUN_TESTS OFF)
else()
  set(PAVIX_RUN_TESTS ON)
endif()

function(pavix_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} pavix_source_root GTest::gtest GTest::gtest_main)
  if(NOT PAVIX_RUN_TESTS)
    return()
  endif()
  if(WIN32)
    # Wine takes the report's path the Windows way: relative to the test's
    # working directory, not as a Unix path.
    set(reports ${CMAKE_BINARY_DIR}/test-reports)
    file(MAKE_DIRECTORY ${reports})
    file(RELATIVE_PATH report ${CMAKE_CURRENT_BINARY_DIR} ${reports}/${name}.xml)
    add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${report})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30)
  endif()
endfunction()

# Every Windows binary of the tree imports system DLLs only; the shipped
# ones only DLLs Windows never takes from beside them.
function(pavix_add_imports_check)
  if(WIN32)
    add_test(NAME windows_imports
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-imports.sh ${CMAKE_OBJDUMP} ${CMAKE_BINARY_DIR}
                     $<TARGET_FILE:pavix> $<TARGET_FILE:RovoFilter>)
  endif()
endfunction()
