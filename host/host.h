// The host interface as the plug-ins see it: the host operations under
// their upper-case names. Octave's own types (the native host) or the MEX
// C API of MATLAB, Octave or the stand-in, chosen by the build.
#ifndef HOST_HOST_H
#define HOST_HOST_H

#ifdef ZORVANE_NATIVE_HOST
#include "native/native_host.h"
#else
#include "mex_host.h"
#endif

#endif
