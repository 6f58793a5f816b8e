# Writes OUT, a C++ source holding the stock package lists as one string
# per game: the file names of each list (comments and folders left out),
# one per line.
function(stock_names file var)
  file(STRINGS "${file}" lines)
  set(names "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    get_filename_component(name "${line}" NAME)
    string(APPEND names "${name}\\n")
  endforeach()
  set(${var} "${names}" PARENT_SCOPE)
endfunction()
stock_names("${UT2003}" ut2003)
stock_names("${UT2004}" ut2004)
file(WRITE "${OUT}.new"
  "// Made from assets/stock/*.txt at build time.\n"
  "namespace tv {\n"
  "extern const char* const kStockUT2003;\nextern const char* const kStockUT2004;\n"
  "const char* const kStockUT2003 = \"${ut2003}\";\n"
  "const char* const kStockUT2004 = \"${ut2004}\";\n"
  "} // namespace tv\n")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
