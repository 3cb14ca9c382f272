# Ruled tables end to end: generated PDFs through the console program, the
# workbooks read back with Debian's python3-xlrd (hence the system interpreter).
find_program(TBX_TABLES_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(TBX_TABLES_PYTHON3 AND TARGET tbxagent)
  foreach(_group ruled merged colours pieces no_graph)
    add_test(NAME PDFR.tables_${_group}
      COMMAND ${TBX_TABLES_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/tables_e2e.py
              $<TARGET_FILE:tbxagent> ${CMAKE_SOURCE_DIR} ${_group})
  endforeach()
endif()
