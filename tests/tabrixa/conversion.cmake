# End-to-end conversions: PDFs made by tools/pdfgen.py go through tbxagent and
# the workbooks are read back with xlrd and with LibreOffice.
if(TARGET tbxagent)
  foreach(_case SheetNames TwoColumns ListRows UnruledTable JustifiedText Numbers Characters UnusualPages Fonts Tables)
    add_test(NAME tabrixa.conversion.${_case}
      COMMAND ${CMAKE_COMMAND} -E env
              TBX_SOURCE_DIR=${CMAKE_SOURCE_DIR}
              TBX_AGENT=$<TARGET_FILE:tbxagent>
              TBX_WORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/conversion/${_case}
              ${TBX_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/conversion_test.py -v ${_case})
  endforeach()
  add_test(NAME tabrixa.conversion.LibreOffice
    COMMAND ${CMAKE_COMMAND} -E env
            TBX_SOURCE_DIR=${CMAKE_SOURCE_DIR}
            TBX_AGENT=$<TARGET_FILE:tbxagent>
            TBX_WORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/conversion/LibreOffice
            ${TBX_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/conversion_lo_test.py -v)
  set_tests_properties(tabrixa.conversion.LibreOffice PROPERTIES TIMEOUT 300)
endif()
