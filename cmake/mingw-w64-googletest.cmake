# Included after project(tolvex) when cross-compiling with MinGW-w64: there is
# no GoogleTest built for Windows on the build machine, so build Debian's
# sources (libgtest-dev) for the target inside this build tree, then let the
# top level's find_package(GTest) find those targets through a small
# configuration file.
set(TOLVEX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")

# TOLVEX_TESTS is declared only after project(); unset means its default, ON.
# Without the sources the tests are left out (or, with TOLVEX_REQUIRE_TESTS,
# the top level stops and says why).
if((NOT DEFINED TOLVEX_TESTS OR TOLVEX_TESTS) AND NOT TARGET GTest::gtest
   AND EXISTS ${TOLVEX_GOOGLETEST_SOURCE}/CMakeLists.txt)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # GoogleTest's own sources are not held to the project's warning flags.
  add_subdirectory(${TOLVEX_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # GoogleTest 1.11 and later define the GTest:: aliases themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()

  set(_tolvex_gtest_config ${CMAKE_BINARY_DIR}/googletest-config)
  file(WRITE ${_tolvex_gtest_config}/GTestConfig.cmake
       "# The GTest::gtest and GTest::gtest_main targets are built in this tree.\n"
       "set(GTest_FOUND TRUE)\n")
  file(WRITE ${_tolvex_gtest_config}/GTestConfigVersion.cmake
       "set(PACKAGE_VERSION 1.12.1)\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
  set(GTest_DIR ${_tolvex_gtest_config} CACHE PATH "" FORCE)
endif()
