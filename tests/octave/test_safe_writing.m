## Writing touches only what the user named and may write: links, pipes,
## devices, modes, unreadable or cut files, contradicting options, appends
## at the same moment, leftovers of killed writers; and what auto, text
## and the options write.
function test_safe_writing ()
  dir = tempname ();
  mkdir (dir);
  cleanup = onCleanup (@() confirm_recursive_rmdir (false) || rmdir (dir, "s"));
  links_pipes_devices (dir);
  modes (dir);
  appends (dir);
  leftovers (dir);
  what_is_written (dir);
  printf ("test_safe_writing: all checks passed\n");
endfunction

function links_pipes_devices (dir)
  f = fullfile (dir, "target.op4");
  zorvane_save (f, "A", 1);
  link = fullfile (dir, "link.op4");
  symlink ("target.op4", link);
  zorvane_save (link, "B", 2);
  assert (is_link (link), "a link stays a link");
  assert ({zorvane_dir(f).name}, {"B"});
  dangling = fullfile (dir, "dangling.op4");
  symlink ("made.op4", dangling);
  zorvane_save (dangling, "C", 3);
  assert (is_link (dangling));
  assert ({zorvane_dir(fullfile (dir, "made.op4")).name}, {"C"});
  ## A named pipe, directly and through a link, is written in place and in order.
  pipe = fullfile (dir, "pipe");
  assert (system (sprintf ("mkfifo '%s'", pipe)), 0);
  symlink ("pipe", fullfile (dir, "to_pipe"));
  for name = {pipe, fullfile(dir, "to_pipe")}
    got = fullfile (dir, "from_pipe.op4");
    system (sprintf ("cat '%s' > '%s' &", pipe, got));
    zorvane_save (name{1}, "P", magic (4));
    pause (0.2);
    assert (system (sprintf ("test -p '%s'", pipe)), 0, "still a pipe");
    zorvane_save (f, "P", magic (4));
    assert (file_bytes (got), file_bytes (f));
  endfor
  zorvane_save ("/dev/null", "A", 1);
  assert (system ("test -c /dev/null"), 0, "/dev/null stays a device");
  expect_failure (@() zorvane_save (dir, "A", 1), "MATLAB:zorvane_save:CannotWrite");
endfunction

function yes = is_link (path)
  [~, err] = lstat (path);
  yes = err == 0 && S_ISLNK (lstat (path).mode);
endfunction

## A replaced file keeps its mode and group; what its user may not write
## or read is refused and left as it was (run as an ordinary user).
function modes (dir)
  f = fullfile (dir, "private.op4");
  zorvane_save (f, "A", 1);
  assert (system (sprintf ("chmod 0640 '%s' && chgrp 65534 '%s'", f, f)), 0);
  zorvane_save (f, "A", 2);
  [~, text] = system (sprintf ("stat -c '%%a %%g' '%s'", f));
  assert (strtrim (text), "640 65534");
  user = ordinary_user ();
  assert (system (sprintf ("chmod 0777 '%s'", dir)), 0);
  market = fullfile (dir, "one.mtx");
  fid = fopen (market, "w"); fputs (fid, "%%MatrixMarket matrix coordinate real general\n1 1 1\n1 1 5\n"); fclose (fid);
  for c = {{"0444", ""}, {"0200", "--append"}}
    [mode, append] = c{1}{:};
    g = fullfile (dir, ["mode" mode ".op4"]);
    zorvane_save (g, "KEEP", 1);
    before = file_bytes (g);
    assert (system (sprintf ("chown 65534 '%s' && chmod %s '%s'", g, mode, g)), 0);
    [status, text] = system (sprintf ("%s %s/zorvane-mm --write '%s' %s '%s' 2>&1", user, pwd (), g, append, market));
    assert (status, 1, text);
    assert (! isempty (strfind (text, "CannotWrite")) && ! isempty (strfind (text, "Permission denied")), text);
    assert (file_bytes (g), before);
  endfor
endfunction

## Runs as nobody when run as root.
function prefix = ordinary_user ()
  prefix = "";
  if (getuid () == 0)
    prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups";
  endif
endfunction

function appends (dir)
  f = fullfile (dir, "cut.op4");
  ## A file cut inside its last record takes nothing.
  for cut = [1 4 13]
    zorvane_save (f, "A", sparse (magic (5)));
    bytes = file_bytes (f)(1:end-cut);
    op4_write (f, bytes);
    message = expect_failure (@() zorvane_save (f, "B", 1, "append", true), "MATLAB:zorvane_save:Mismatch");
    assert (! isempty (strfind (message, "does not end where a record ends")), message);
    assert (file_bytes (f), bytes);
  endfor
  zorvane_save (f, "A", 1, "format", "text");
  op4_write (f, file_bytes (f)(1:end-1));
  expect_failure (@() zorvane_save (f, "B", 1, "append", true), "MATLAB:zorvane_save:Mismatch");
  ## Options are checked against the file's own format before anything is written.
  zorvane_save (f, "A", 1, "format", "text");
  before = file_bytes (f);
  expect_failure (@() zorvane_save (f, "B", sparse ([1 2 3], [1 1 2], [1 2 3], 3, 3), "append", true, ...
                                    "encoding", "value-count"), "MATLAB:zorvane_save:Mismatch");
  expect_failure (@() zorvane_save (f, "B", 1, "append", true, "byte_order", "little"), "MATLAB:zorvane_save:Mismatch");
  assert (file_bytes (f), before);
  zorvane_save (f, "B", pi, "append", true, "digits", 5);
  assert ({zorvane_dir(f).name}, {"A", "B"});
  assert (full (zorvane (f, "B", 0)), 3.14159);
  ## Appends at the same moment all land.
  big = fullfile (dir, "big.mtx");
  [i, j] = find (sprand (20000, 300, 0.03));
  fid = fopen (big, "w");
  fprintf (fid, "%%%%MatrixMarket matrix coordinate real general\n20000 300 %d\n", numel (i));
  fprintf (fid, "%d %d 1.5\n", [i j]');
  fclose (fid);
  g = fullfile (dir, "together.op4");
  zorvane_save (g, "FIRST", 1);
  runs = sprintf ("./zorvane-mm --write '%s' --append 'M%d=%s' & ", [repmat({g}, 1, 4); num2cell(1:4); repmat({big}, 1, 4)]{:});
  assert (system ([runs "wait"]), 0);
  assert (sort ({zorvane_dir(g).name}), {"FIRST", "M1", "M2", "M3", "M4"});
  ## A missing file is created by an append.
  h = fullfile (dir, "new.op4");
  zorvane_save (h, "N", 1, "append", true);
  assert ({zorvane_dir(h).name}, {"N"});
endfunction

## Temporary files of writers that no longer run are removed; those of a
## running one stay.
function leftovers (dir)
  f = fullfile (dir, "left.op4");
  [~, pid] = system ("sh -c 'echo $$'");
  dead = sprintf ("%s.%d.0.tmp", f, str2double (pid));
  alive = sprintf ("%s.%d.0.tmp", f, getppid ());
  fclose (fopen (dead, "w"));
  fclose (fopen (alive, "w"));
  zorvane_save (f, "A", 1);
  assert (! exist (dead, "file"));
  assert (exist (alive, "file") == 2);
  delete (alive);
endfunction

function what_is_written (dir)
  f = fullfile (dir, "values.op4");
  ## auto keeps every value, single or double.
  A = [1 1e-33; NaN 2];
  for precision = {"double", "single"}
    zorvane_save (f, "A", A, "precision", precision{1});
    B = zorvane (f, "A", 0);
    assert (isequaln (full (B), double (cast (A, precision{1}))), precision{1});
  endfor
  ## Text carries the sign of zero, as a Fortran runtime writes it.
  zorvane_save (f, "Z", [1; -0; 2], "format", "text");
  assert (! isempty (strfind (char (file_bytes (f)), "-0.0000000000000000E+00")));
  zorvane_save (f, "Z", [1; -1e-50; 2], "format", "text", "precision", "single");
  assert (! isempty (strfind (char (file_bytes (f)), "-0.000000000E+00")));
  ## Option errors name what is valid; forms the solvers do not know are refused.
  message = expect_failure (@() zorvane_save (f, "A", 1, "fromat", "text"), "MATLAB:zorvane_save:BadOption");
  assert (! isempty (strfind (message, "format, byte_order, encoding, precision, form, digits, append")), message);
  message = expect_failure (@() zorvane_save (f, "A", 1, "format", "txt"), "MATLAB:zorvane_save:BadOption");
  assert (! isempty (strfind (message, "binary or text")), message);
  for form = {1+2i, 99, 1.5}
    expect_failure (@() zorvane_save (f, "A", 1, "form", form{1}), "MATLAB:zorvane_save:BadOption");
  endfor
  expect_failure (@() zorvane_save (f, "A", ones (2, 3), "form", 6), "MATLAB:zorvane_save:BadOption");
  zorvane_save (f, "A", ones (2, 3), "form", 9);
  assert (zorvane_dir (f).form, 9);
  expect_failure (@() zorvane_save (f, struct ("name", "A", "matrix", 1, "type", 7)), "MATLAB:zorvane_save:BadMatrix");
endfunction
