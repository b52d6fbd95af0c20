# GoogleTest for both flavours and a helper that declares one test executable.
include(GoogleTest)

if(CMAKE_CROSSCOMPILING)
  # Debian's packaged gtest is built for Linux; build it from its sources for MinGW.
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  set(TARNBECK_GTEST_LIBS gmock gtest_main)
else()
  find_package(GTest REQUIRED)
  set(TARNBECK_GTEST_LIBS GTest::gmock GTest::gtest_main)
endif()

# tarnbeck_add_test(<name> SOURCES <files...> [LIBS <libs...>] [LOCKS <resource locks...>]
#                   [PROPERTIES <test properties...>])
# One gtest executable linked against the core and the test support library. On Linux each case is its own
# ctest entry, discovered at test time. Under Wine the binary is one entry that runs all its cases in one
# process: every Wine start costs seconds (more when a case starts a Linux helper), a case well under one.
# LOCKS is its own keyword because a list inside PROPERTIES would be split into separate values.
function(tarnbeck_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LOCKS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tarnbeck_test_support ${ARG_LIBS})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 ${ARG_PROPERTIES})
    if(ARG_LOCKS)
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${ARG_LOCKS}")
    endif()
    return()
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES TIMEOUT 120 ${ARG_PROPERTIES})
  if(ARG_LOCKS)
    # The discovered cases exist only when ctest reads the directory; this file runs after the discovery's own
    # and finds their names in the variable the discovery sets.
    set(locks_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_locks.cmake)
    file(WRITE ${locks_file}
      "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES RESOURCE_LOCK [==[${ARG_LOCKS}]==])\nendif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${locks_file})
  endif()
endfunction()
