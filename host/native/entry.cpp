// The entry Octave loads a native plug-in by: PLUGIN_NAME, with the help
// text of its help file (PLUGIN_NAME_help.h, made by help_text.cmake).
#include "native_call.h"

#define TEXT_OF(x) #x
#define NAME_TEXT(x) TEXT_OF(x)
#define HELP_HEADER_OF(name) TEXT_OF(name##_help.h)
#define HELP_HEADER(name) HELP_HEADER_OF(name)
#include HELP_HEADER(PLUGIN_NAME)

#define NATIVE_ENTRY(name) DEFUN_DLD(name, args, nargout, PLUGIN_HELP_TEXT)

// Octave finds the entry by its name; everything else stays hidden.
#pragma GCC visibility push(default)
NATIVE_ENTRY(PLUGIN_NAME) { return native_call(NAME_TEXT(PLUGIN_NAME), args, nargout); }
#pragma GCC visibility pop
