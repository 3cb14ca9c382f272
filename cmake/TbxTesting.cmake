# One test program per *_test.cpp file, so a test file only ever breaks itself.
include(GoogleTest)
find_package(GTest REQUIRED)

# tbx_add_gtests(dir lib... [SOURCES file...])
# Every *_test.cpp of the current folder, linked with the libraries; with
# SOURCES only the files named there (for a folder whose test programs need
# different libraries: one call per group).
function(tbx_add_gtests dir)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  if(ARG_SOURCES)
    list(TRANSFORM ARG_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE _srcs)
  else()
    file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  endif()
  foreach(_src IN LISTS _srcs)
    get_filename_component(_name ${_src} NAME_WE)
    set(_target ${dir}_${_name})
    add_executable(${_target} ${_src})
    target_link_libraries(${_target} PRIVATE ${ARG_UNPARSED_ARGUMENTS} GTest::gtest GTest::gtest_main Threads::Threads)
    target_compile_definitions(${_target} PRIVATE
      TBX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TBX_BINARY_DIR="${CMAKE_BINARY_DIR}")
    gtest_discover_tests(${_target} TEST_PREFIX "${dir}." DISCOVERY_MODE PRE_TEST
      PROPERTIES ENVIRONMENT "TBX_BINARY_DIR=${CMAKE_BINARY_DIR};TBX_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  endforeach()
endfunction()
