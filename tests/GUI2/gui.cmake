# The real windows, each scenario on a virtual X server of its own (Debian
# xvfb). Screenshots of every page land in <build>/gui-artifacts.
find_program(TBX_XVFB Xvfb)
if(TARGET tbx_wizapp AND TBX_XVFB)
  add_executable(GUI2_wiz_gui_driver wiz_gui_driver.cpp)
  # Link-time seams of the driver alone (see the driver): it records what the
  # wizard hands to the desktop instead of starting programs, it can hold a
  # conversion at its second page, and it sees the run come to its workbook.
  target_link_libraries(GUI2_wiz_gui_driver PRIVATE tbx_wizapp
    "-Wl,--wrap=_Z22plat_open_with_desktopRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"
    "-Wl,--wrap=_ZN19pdf_uline_processor10undo_linesEP6Splash"
    "-Wl,--wrap=_ZN17tk_thread_functor12begin_resultEv"
    "-Wl,--wrap=_ZN14ExcelOutputDev4saveEv")
  # Screenshots read the X server's pixels (Debian libx11-dev); without it the
  # scenarios still run, only without pictures.
  find_package(X11)
  if(X11_FOUND)
    target_link_libraries(GUI2_wiz_gui_driver PRIVATE X11::X11)
    target_compile_definitions(GUI2_wiz_gui_driver PRIVATE TBX_GUI_X11=1)
  endif()
  # The help pages beside the driver, as beside the program (the smoke
  # scenario runs a copy of the driver without them).
  add_custom_command(TARGET GUI2_wiz_gui_driver POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/GUI2/help
            $<TARGET_FILE_DIR:GUI2_wiz_gui_driver>/GUI2_wiz_gui_driver-help)
  foreach(_sc smoke convert quick quickdefault save badpass missing nosource garbage fifo cancel late warning internal refuse questions manywarnings)
    add_test(NAME GUI2.gui_${_sc}
      COMMAND ${TBX_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/gui_run.py ${_sc} $<TARGET_FILE:GUI2_wiz_gui_driver>
              ${CMAKE_BINARY_DIR}/gui-artifacts ${CMAKE_SOURCE_DIR})
    set_tests_properties(GUI2.gui_${_sc} PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
  endforeach()
endif()

# The progress and error-handler logic (worker thread, cross-thread boxes,
# error list) under ThreadSanitizer: a small separate build of the logic test.
if(NOT TBX_TSAN)
  add_test(NAME GUI2.tsan_logic
    COMMAND sh -c "cmake -S \"$1\" -B \"$2\" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTBX_TSAN=ON >/dev/null && cmake --build \"$2\" -j4 --target GUI2_wiz_logic_test >/dev/null && TSAN_OPTIONS=halt_on_error=1 \"$2/tests/GUI2/GUI2_wiz_logic_test\""
            sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/tsan-wiz)
  # It builds with four jobs: ctest -j counts them.
  set_tests_properties(GUI2.tsan_logic PROPERTIES TIMEOUT 900 PROCESSORS 4)
endif()

# Without a display the program says so and ends with -1.
if(TARGET tabwiz)
  add_test(NAME GUI2.no_display
    COMMAND sh -c "out=$(env -u DISPLAY -u WAYLAND_DISPLAY \"$1\" 2>&1 >/dev/null); rc=$?; echo \"$out\"; [ $rc -eq 255 ] && echo \"$out\" | grep -qx 'Failed to initialize GUI library'"
            sh $<TARGET_FILE:tabwiz>)
  # An option is no profile path: the usage of the wizard's command line,
  # with no window and no display needed.
  add_test(NAME GUI2.usage
    COMMAND sh -c "out=$(env -u DISPLAY -u WAYLAND_DISPLAY \"$1\" --help) && echo \"$out\" | grep -qx 'Usage: tabwiz \\[PROFILE\\]' && ! env -u DISPLAY -u WAYLAND_DISPLAY \"$1\" --bogus 2>/dev/null"
            sh $<TARGET_FILE:tabwiz>)
endif()
