# GoogleTest for a cross build: Debian ships its sources (googletest, in /usr/src/googletest),
# compiled here with the target's compiler. The same targets as find_package(GTest) gives.
set(VOR_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
if(NOT EXISTS ${VOR_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest's sources are not in ${VOR_GOOGLETEST_SOURCE} (Debian: googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${VOR_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(library gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${library})
    add_library(GTest::${library} ALIAS ${library})
  endif()
  # Never part of a unity build: its sources were not written for one.
  set_target_properties(${library} PROPERTIES UNITY_BUILD OFF)
endforeach()
