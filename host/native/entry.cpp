// The entry Octave loads a native plug-in by: PLUGIN_NAME, with the help
// text of its help file (PLUGIN_HELP, made by help_text.cmake).
#include "native_call.h"

#include PLUGIN_HELP

#define TEXT_OF(x) #x
#define NAME_TEXT(x) TEXT_OF(x)
#define NATIVE_ENTRY(name) DEFUN_DLD(name, args, nargout, PLUGIN_HELP_TEXT)

// Octave finds the entry by its name; everything else stays hidden.
#pragma GCC visibility push(default)
NATIVE_ENTRY(PLUGIN_NAME) { return native_call(NAME_TEXT(PLUGIN_NAME), args, nargout); }
#pragma GCC visibility pop
