# Writes OUTPUT, a header defining PLUGIN_HELP_TEXT: the leading comment
# block of the help file INPUT without its comment signs, as Octave prints
# the help of a function file.
#   cmake -DINPUT=zorvane.m -DOUTPUT=zorvane_help.h -P help_text.cmake
file(STRINGS ${INPUT} lines)
set(text "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^%")
    break()
  endif()
  string(REGEX REPLACE "^%" "" line "${line}")
  string(REPLACE "\\" "\\\\" line "${line}")
  string(REPLACE "\"" "\\\"" line "${line}")
  string(APPEND text "    \"${line}\\n\"\n")
endforeach()
file(WRITE ${OUTPUT}.new "// Made from ${INPUT} by help_text.cmake.\nstatic const char PLUGIN_HELP_TEXT[] =\n${text}    \"\";\n")
# Rewritten only when it changed, so that the plug-in is not rebuilt for nothing.
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
