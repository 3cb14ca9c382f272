# Ruled tables end to end: generated PDFs through the console program, the
# workbooks read back with xlrd.
if(TARGET tbxagent)
  foreach(_group ruled merged colours beside pieces filled no_graph huge whole_pixels)
    add_test(NAME PDFR.tables_${_group}
      COMMAND ${TBX_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tables_e2e.py
              $<TARGET_FILE:tbxagent> ${CMAKE_SOURCE_DIR} ${_group})
  endforeach()
endif()
