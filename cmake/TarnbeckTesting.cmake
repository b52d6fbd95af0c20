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

# tarnbeck_add_test(<name> SOURCES <files...> [LIBS <libs...>] [PROPERTIES <test properties...>])
# One gtest executable linked against the core and the test support library; its cases are discovered at test
# time (under Wine for the Windows build).
function(tarnbeck_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tarnbeck_test_support ${ARG_LIBS})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES TIMEOUT 120 ${ARG_PROPERTIES})
endfunction()
