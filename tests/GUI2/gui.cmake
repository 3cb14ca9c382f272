# The real windows under a virtual X server. Screenshots of every page land in
# <build>/gui-artifacts.
find_program(TBX_XVFB_RUN xvfb-run)
if(TARGET tbx_wizapp AND TBX_XVFB_RUN)
  add_executable(GUI2_wiz_gui_driver wiz_gui_driver.cpp)
  find_package(X11 REQUIRED)
  target_link_libraries(GUI2_wiz_gui_driver PRIVATE tbx_wizapp X11::X11)
  if(EXISTS /usr/bin/python3)
    set(_py /usr/bin/python3)  # Debian's, with python3-xlrd
  else()
    set(_py ${Python3_EXECUTABLE})
  endif()
  foreach(_sc smoke convert quick badpass)
    add_test(NAME GUI2.gui_${_sc}
      COMMAND ${_py} ${CMAKE_CURRENT_SOURCE_DIR}/gui_run.py ${_sc} $<TARGET_FILE:GUI2_wiz_gui_driver>
              ${CMAKE_BINARY_DIR}/gui-artifacts ${CMAKE_SOURCE_DIR})
    set_tests_properties(GUI2.gui_${_sc} PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
  endforeach()
endif()
