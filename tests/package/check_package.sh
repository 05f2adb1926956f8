#!/usr/bin/env bash
# The release tarball as a user gets it: built by scripts/package, installed
# with pkg into a temporary prefix by a fresh Octave (no CMake involved),
# loaded, its built-in tests run by pkg test, then uninstalled; once built
# by make, once by the configure script alone (a machine without make).
# Both package lists are the test's own, so that a zorvane installed on
# the machine (globally by root, or for the user) is never touched.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
tarball="$(bash "$ROOT/scripts/package" "$WORK")"
cd "$WORK"
for without_make in "" 1; do
ZORVANE_BUILD_WITHOUT_MAKE="$without_make" octave-cli --no-gui --norc --no-history --quiet --eval "
  pkg prefix '$WORK/prefix' '$WORK/arch';
  pkg local_list '$WORK/octave_packages';
  pkg global_list '$WORK/global_packages';
  pkg install -local '$tarball';
  pkg load zorvane;
  for name = {'zorvane', 'tessik', 'zorvane_dir', 'zorvane_load', 'zorvane_save', 'zorvane_dmig_load', 'zorvane_dmig_dir', 'zorvane_dmig_save'}
    assert (exist (name{1}), 3, [name{1} ' is not a plug-in']);
    [~, ~, ext] = fileparts (which (name{1}));
    assert (ext, '.oct', [name{1} ' is not the native plug-in']);
    assert (! isempty (strfind (evalc (['help ' name{1}]), upper (name{1}))), ['no help for ' name{1}]);
  endfor
  report = evalc ('pkg test zorvane');
  printf ('%s', report);
  passed = sscanf (report(strfind (report, 'PASS') + 4:end), '%d', 1);
  failed = sscanf (report(strfind (report, 'FAIL') + 4:end), '%d', 1);
  assert (passed >= 14, 'too few built-in tests ran');
  assert (failed, 0);
  pkg unload zorvane;
  pkg uninstall -local zorvane;
  assert (! any (cellfun (@(p) strcmp (p.name, 'zorvane'), pkg ('list'))), 'the package is still listed');
  assert (exist ('zorvane'), 0);
  printf ('package: %d passed, %d failed\n', passed, failed);
"
done
