# Reads the writer's sample workbooks back with real readers: xlrd and
# olefile (python3-xlrd, python3-olefile), LibreOffice and Gnumeric.
add_executable(xls_sample_writer ${CMAKE_CURRENT_SOURCE_DIR}/xls_sample_writer.cpp)
target_link_libraries(xls_sample_writer PRIVATE tbx_xls)

set(_xls_samples ${CMAKE_CURRENT_BINARY_DIR}/xls_samples)
add_test(NAME XLS.samples_write
  COMMAND $<TARGET_FILE:xls_sample_writer> ${_xls_samples})
set_tests_properties(XLS.samples_write PROPERTIES FIXTURES_SETUP xls_samples)
foreach(_check xlrd olefile libreoffice gnumeric)
  add_test(NAME XLS.readers_${_check}
    COMMAND ${TBX_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/xls_readers.py ${_check} ${_xls_samples})
  set_tests_properties(XLS.readers_${_check} PROPERTIES FIXTURES_REQUIRED xls_samples TIMEOUT 600
    SKIP_RETURN_CODE 77)
endforeach()
