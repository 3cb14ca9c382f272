# End-to-end runs of the console program; the checks read workbooks with xlrd.
if(TARGET tbxagent)
  foreach(_group usage source pages password unreadable dest deep convert profile limits hostile page_tree cjk)
    add_test(NAME tabrixa.tbxagent_${_group}
      COMMAND ${TBX_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tbxagent_e2e.py
              $<TARGET_FILE:tbxagent> ${CMAKE_SOURCE_DIR} ${_group})
  endforeach()
endif()
