// One call of a native plug-in: Octave's arguments in, the gateway run,
// its results handed over, the call's own arrays and memory freed
// however it ends.
#ifndef HOST_NATIVE_NATIVE_CALL_H
#define HOST_NATIVE_NATIVE_CALL_H

#include <octave/oct.h>

octave_value_list native_call(const char *function, const octave_value_list &args, int nargout);

#endif
