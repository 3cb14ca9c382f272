# poppler exports global TextPage/TextWord/... classes; a program that defined
# its own global classes of those names would silently take over poppler's calls.
foreach(_prog tbxagent tabwiz)
  if(TARGET ${_prog})
    add_test(NAME tabrixa.no_global_text_classes_in_${_prog}
      COMMAND sh -c "! nm -C --defined-only \"$1\" | grep -E ' (TextWord|TextPage|TextPool|TextLine|TextBlock|TextFlow|TextFontRef)::'"
              sh $<TARGET_FILE:${_prog}>)
  endif()
endforeach()
