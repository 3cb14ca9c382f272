# End-to-end runs of the console program. The system interpreter is preferred:
# it carries Debian's python3-xlrd, which the checks use to read workbooks.
find_program(TBX_SYSTEM_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT TBX_SYSTEM_PYTHON3)
  set(TBX_SYSTEM_PYTHON3 ${Python3_EXECUTABLE})
endif()
if(TBX_SYSTEM_PYTHON3 AND TARGET tbxagent)
  foreach(_group usage source pages password unreadable dest convert profile)
    add_test(NAME tabrixa.tbxagent_${_group}
      COMMAND ${TBX_SYSTEM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/tbxagent_e2e.py
              $<TARGET_FILE:tbxagent> ${CMAKE_SOURCE_DIR} ${_group})
  endforeach()
endif()
