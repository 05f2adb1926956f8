// The host operations of the whole-file gateways: structures, cells,
// scalars and text.
#ifndef HOST_HOST_STRUCT_H
#define HOST_HOST_STRUCT_H

#include "host.h"
#ifndef ZORVANE_NATIVE_HOST
#include "mex_host_struct.h"
#endif

#endif
