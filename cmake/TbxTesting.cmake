# One test program per *_test.cpp file, so a test file only ever breaks itself.
include(GoogleTest)
find_package(GTest REQUIRED)

function(tbx_add_gtests dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(_src IN LISTS _srcs)
    get_filename_component(_name ${_src} NAME_WE)
    set(_target ${dir}_${_name})
    add_executable(${_target} ${_src})
    target_link_libraries(${_target} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main Threads::Threads)
    target_compile_definitions(${_target} PRIVATE
      TBX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TBX_BINARY_DIR="${CMAKE_BINARY_DIR}")
    gtest_discover_tests(${_target} TEST_PREFIX "${dir}." DISCOVERY_MODE PRE_TEST
      PROPERTIES ENVIRONMENT "TBX_BINARY_DIR=${CMAKE_BINARY_DIR};TBX_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  endforeach()
endfunction()
