# The manual of vorloader-cli as plain text in a C++ source, for builds whose systems have no
# man pages: its help text.
#   cmake -DMAN_PAGE=packaging/vorloader-cli.1 -DVERSION=1.70.0 -DOUTPUT=help_manual.cpp -P ManualAsHelp.cmake
# ASCII and no hyphenation, so every option can be copied from the console as it is shown.
find_program(GROFF groff REQUIRED)
file(READ ${MAN_PAGE} page)
string(REPLACE "@PROJECT_VERSION@" "${VERSION}" page "${page}")
get_filename_component(out_dir ${OUTPUT} DIRECTORY)
set(source ${out_dir}/help_manual.1)
# Lines left-aligned, never stretched to the margin: the console shows the text as it is.
file(WRITE ${source} ".rn ad vor-ad\n.de ad\n.vor-ad l\n..\n.ad l\n${page}")
execute_process(
  COMMAND ${GROFF} -man -Tascii -P-cbou -rHY=0 -rLL=79n ${source}
  OUTPUT_VARIABLE text
  RESULT_VARIABLE status
  ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR text STREQUAL "")
  message(FATAL_ERROR "groff could not render ${MAN_PAGE}: ${errors}")
endif()
# The page's running head and foot and the blank lines around them.
string(FIND "${text}" "\n" head_end)
math(EXPR head_end "${head_end} + 1")
string(SUBSTRING "${text}" ${head_end} -1 text)
string(STRIP "${text}" text)
string(FIND "${text}" "\n" foot_start REVERSE)
string(SUBSTRING "${text}" 0 ${foot_start} text)
string(STRIP "${text}" text)
string(APPEND text "\n")
if(text MATCHES "\\)vorman\"")
  message(FATAL_ERROR "the manual holds the source's string delimiter")
endif()
file(WRITE ${OUTPUT}.new
  "// Made by cmake/ManualAsHelp.cmake from ${MAN_PAGE}: do not edit.\n"
  "#include \"cli/command/help_text.h\"\n\n"
  "namespace cli {\n\n"
  "std::string HelpText() {\n"
  "  return R\"vorman(${text})vorman\";\n"
  "}\n\n"
  "}  // namespace cli\n")
file(RENAME ${OUTPUT}.new ${OUTPUT})
