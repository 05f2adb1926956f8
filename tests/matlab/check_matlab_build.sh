#!/usr/bin/env bash
# The MATLAB build path without MATLAB: a stand-in installation of R2023b
# (a launcher that answers "version", mexext, empty libraries, the stand-in
# host's mex.h, and the API-version source that matlab_add_mex adds from
# R2016b on). Every plug-in must build and define its entries once.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
FAKE="$WORK/R2023b"
mkdir -p "$FAKE/bin/glnxa64" "$FAKE/extern/include" "$FAKE/extern/version" "$FAKE/extern/lib/glnxa64"
printf '#!/bin/sh\nprintf "\\nans =\\n\\n    '"'"'9.15.0.2345 (R2023b)'"'"'\\n\\n" > matlabVersionLog.cmaketmp\n' > "$FAKE/bin/matlab"
printf '#!/bin/sh\necho mexa64\n' > "$FAKE/bin/mexext"
printf '#!/bin/sh\nexit 1\n' > "$FAKE/bin/glnxa64/mex"
chmod +x "$FAKE/bin/matlab" "$FAKE/bin/mexext" "$FAKE/bin/glnxa64/mex"
cp "$ROOT/host/standin/mex.h" "$FAKE/extern/include/mex.h"
touch "$FAKE/extern/include/matrix.h"
echo 'void mexfilerequiredapiversion(unsigned int *a, unsigned int *b) { *a = 1; *b = 2; }' > "$FAKE/extern/version/c_mexapi_version.c"
echo '{ global: mexFunction; mexfilerequiredapiversion; local: *; };' > "$FAKE/extern/lib/glnxa64/c_exportsmexfileversion.map"
for lib in mx mex mat eng MatlabEngine MatlabDataArray; do
  echo "" | cc -shared -x c - -o "$FAKE/bin/glnxa64/lib$lib.so"
done
cmake -S "$ROOT" -B "$WORK/build" -DMatlab_ROOT_DIR="$FAKE" -DZORVANE_REQUIRE_OCTAVE=OFF -DZORVANE_TESTS=OFF \
  | grep "MATLAB found"
cmake --build "$WORK/build" -j "$(nproc)" --target zorvane_matlab zorvane_dir_matlab zorvane_load_matlab \
  zorvane_save_matlab zorvane_dmig_load_matlab zorvane_dmig_dir_matlab zorvane_dmig_save_matlab tessik_matlab >/dev/null
count=0
for plugin in zorvane zorvane_dir zorvane_load zorvane_save zorvane_dmig_load zorvane_dmig_dir zorvane_dmig_save; do
  entries="$(nm --defined-only "$WORK/build/matlab/$plugin.mexa64" | grep -c ' T mexfilerequiredapiversion$')"
  [ "$entries" = 1 ] || { echo "matlab: $plugin defines mexfilerequiredapiversion $entries times" >&2; exit 1; }
  count=$((count + 1))
done
echo "matlab: $count plug-ins built, each with one API-version entry"
