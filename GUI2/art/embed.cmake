# Builds the wizard's SVG pictures into the program (cmake -P): OUT becomes a
# C++ source with one string tbx_art_<name> per picture SRC/<name>.svg.
file(WRITE ${OUT}.new "// Made at build time from GUI2/art/*.svg; do not edit.\n")
foreach(name icon watermark header)
  file(READ ${SRC}/${name}.svg text)
  file(APPEND ${OUT}.new "extern const char tbx_art_${name}[] = R\"svg(${text})svg\";\n")
endforeach()
file(RENAME ${OUT}.new ${OUT})
