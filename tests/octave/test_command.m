## zorvane-mm from the shell: help, Matrix Market files written as a matrix
## file and back, names that cannot be file names, numbering that loses
## no matrix, arguments it does not take, files that are no matrix files.
function test_command ()
  dir = tempname ();
  mkdir (dir);
  cleanup = onCleanup (@() confirm_recursive_rmdir (false) || rmdir (dir, "s"));
  [status, text] = run ("--help");
  assert (status, 0);
  assert (! isempty (strfind (text, "--write")));
  market_round_trip (dir);
  market_kinds (dir);
  output_names (dir);
  check_arguments (dir);
  bounded (dir);
  shell_conventions (dir);
  printf ("test_command: all checks passed\n");
endfunction

## A file's matrices to Matrix Market and back give the same matrices, in
## every byte order and kind of file.
function market_round_trip (dir)
  f = fullfile (dir, "m.op4");
  K = sprandn (200, 200, 0.05) + speye (200);
  C = sprandn (70000, 3, 1e-3) * (1 + 2i);
  zorvane_save (f, {"KAA", "CPX", "KAA"}, {K, C, K'});
  out = fullfile (dir, "mm", "deeper");            # made by -o
  [status, text] = run (sprintf ("'%s' -o '%s'", f, out));
  assert (status, 0, text);
  for args = {"", "--big-endian --encoding dense", "--text", "--single"}
    g = fullfile (dir, "g.op4");
    [status, text] = run (sprintf ("--write '%s' %s '%s/KAA.mtx' '%s/CPX.mtx' 'KAA=%s/KAA.2.mtx'", g, args{1}, ...
                                   out, out, out));
    assert (status, 0, text);
    M = zorvane_load (g);
    assert ({M.name}, {"KAA", "CPX", "KAA"});
    single_precision = ! isempty (strfind (args{1}, "single"));
    for k = 1:3
      want = zorvane_load (f)(k).matrix;
      if (single_precision)
        want = sparse (double (single (full (want))));
      endif
      assert (isequal (M(k).matrix, want), args{1});
    endfor
  endfor
endfunction

## Symmetric, skew-symmetric and hermitian files written out whole; pattern,
## integer and array files; a malformed file named with its line.
function market_kinds (dir)
  g = fullfile (dir, "kinds.op4");
  files = {"%%MatrixMarket matrix coordinate real symmetric\n% c\n3 3 2\n1 1 4\n3 1 -1.5\n", ...
           "%%MatrixMarket matrix coordinate integer skew-symmetric\n2 2 1\n2 1 7\n", ...
           "%%MatrixMarket matrix coordinate complex hermitian\n2 2 2\n1 1 2 0\n2 1 1 3\n", ...
           "%%MatrixMarket matrix coordinate pattern general\n2 3 2\n1 3\n2 1\n", ...
           "%%MatrixMarket matrix array real general\n2 2\n1\n2\n0\n4e-1\n", ...
           "%%MatrixMarket matrix array real symmetric\n2 2\n1\n2\n3\n"};
  want = {sparse([4 0 -1.5; 0 0 0; -1.5 0 0]), sparse([0 -7; 7 0]), sparse([2 1-3i; 1+3i 0]), ...
          sparse([0 0 1; 1 0 0]), [1 0; 2 0.4], [1 2; 2 3]};
  names = {};
  for k = 1:numel (files)
    names{k} = fullfile (dir, sprintf ("K%d.mtx", k));
    fid = fopen (names{k}, "w"); fputs (fid, files{k}); fclose (fid);
  endfor
  [status, text] = run (sprintf ("--write '%s' %s", g, sprintf ("'%s' ", names{:})));
  assert (status, 0, text);
  M = zorvane_load (g);
  for k = 1:numel (files)
    assert (M(k).name, sprintf ("K%d", k));
    assert (full (M(k).matrix), full (want{k}));
  endfor
  assert ([M.form], [6 1 1 2 1 6]);
  bad = fullfile (dir, "bad.mtx");
  fid = fopen (bad, "w"); fprintf (fid, "%%%%MatrixMarket matrix coordinate real general\n2 2 2\n1 1 1\n1 x 2\n"); fclose (fid);
  delete (g);
  [status, text] = run (sprintf ("--write '%s' '%s'", g, bad));
  assert (status, 1);
  assert (! isempty (regexp (text, "bad.mtx: line 4: ")), text);
  assert (! exist (g, "file"), "nothing is written");
endfunction

## Names that cannot stand in a file name stay inside the folder; repeated
## names never take a name another matrix has.
function output_names (dir)
  f = fullfile (dir, "names.op4");
  zorvane_save (f, {"KAA", "KAA.2", "KAA", "../evil"}, {1, 2, 3, 4});
  out = fullfile (dir, "sub", "out");
  [status, text] = run (sprintf ("'%s' -o '%s'", f, out));
  assert (status, 0, text);
  listing = sort (readdir (out)(3:end))';
  assert (listing, sort ({"KAA.mtx", "KAA.2.mtx", "KAA.3.mtx", "_._evil.mtx"}));
  assert (! exist (fullfile (dir, "sub", "evil.mtx"), "file"));
  assert (! isempty (strfind (text, "../evil -> _._evil.mtx")), text);
  fid = fopen (fullfile (out, "KAA.3.mtx")); fgetl (fid); fgetl (fid); value = fscanf (fid, "%f", 3); fclose (fid);
  assert (value(3), 3, "the second KAA is the third file");
endfunction

function check_arguments (dir)
  f = fullfile (dir, "a.op4");
  zorvane_save (f, "KAA", 1);
  for args = {sprintf("'%s' -o '%s' -s abc", f, dir), sprintf("'%s' KAA", f), sprintf("'%s' -x", f), ...
              sprintf("'%s' -s 1", f)}
    [status, text] = run (args{1});
    assert (status == 2, args{1});
    assert (! isempty (strfind (text, "usage")), text);
  endfor
  ## A path of 100 characters opens; files that are no matrix files are said so.
  long = fullfile (dir, repmat ("d", 1, 100 - numel (dir) - 7), "x.op4");
  mkdir (fileparts (long));
  copyfile (f, long);
  [status, text] = run (sprintf ("'%s'", long));
  assert (status, 0, text);
  assert (numel (long), 100);
  notes = fullfile (dir, "notes.txt");
  fid = fopen (notes, "w"); fprintf (fid, "# a README, not a matrix file\n"); fclose (fid);
  [status, text] = run (sprintf ("'%s'", notes));
  assert (status, 1);
  assert (! isempty (strfind (text, "NotMatrixFile")), text);
  expect_id (@() zorvane_dir (notes), "MATLAB:zorvane_dir:NotMatrixFile");
  expect_id (@() zorvane_load (notes), "MATLAB:zorvane_load:NotMatrixFile");
  empty = fullfile (dir, "empty.op4");
  fclose (fopen (empty, "w"));
  assert (size (zorvane_dir (empty)), [0 1]);
endfunction

## A header claiming 2000000000 empty columns under a memory cap: its
## Matrix Market file, since no pointer is kept for a column without
## entries. The runner prints a complex result whole.
function bounded (dir)
  f = fullfile (dir, "huge.op4");
  op4_write (f, [op4_header(2000000000, 3, 1, 2, "KAA"), op4_column(1999999999, 2, op4_words(1.5, "double")), ...
                 op4_column(2000000001, 1, [])]);
  [status, text] = system (sprintf ("prlimit --as=600000000 ./zorvane-mm '%s' -o '%s' 2>&1", f, fullfile (dir, "h")));
  assert (status, 0, text);
  assert (fileread (fullfile (dir, "h", "KAA.mtx")), ...
          sprintf ("%%%%MatrixMarket matrix coordinate real general\n3 2000000000 1\n2 1999999999 1.5\n"));
  op4_write (f, [op4_header(1000000000, 9, 1, 2, "KAA"), op4_column(1, 10, op4_words(1, "double"))]);
  [status, text] = system (sprintf ("prlimit --as=600000000 ./zorvane-mm '%s' -o '%s' 2>&1", f, fullfile (dir, "h")));
  assert (status, 1);
  assert (! isempty (strfind (text, "BadFile: KAA: Damaged file: row 10 of column 1")), text);
  zorvane_save (f, "C", sparse ([0 1.5 - 2i; 3i 0]));
  [status, text] = system (sprintf ("./mexrun ./standin/zorvane.mex '%s' C 0", f));
  assert (status, 0);
  assert (text, sprintf ("%%%%MatrixMarket matrix coordinate complex general\n2 2 2\n2 1 0 3\n1 2 1.5 -2\n"));
endfunction

## --version, standard input and output, several files listed, a failed
## -o run leaves no folder, folders and the reserved name said so.
function shell_conventions (dir)
  [status, text] = run ("--version");
  assert (status == 0 && strncmp (text, "zorvane-mm ", 11), text);
  [status, text] = run ("--frobnicate x");
  assert (status == 2, text);
  f = fullfile (dir, "s1.op4");
  g = fullfile (dir, "s2.op4");
  zorvane_save (f, "ONE", 1);
  zorvane_save (g, "TWO", 2);
  [status, text] = run (sprintf ("'%s' '%s'", f, g));
  assert (status, 0);
  assert (! isempty (regexp (text, [regexptranslate("escape", f) ":\\n.*ONE.*" regexptranslate("escape", g) ":\\n.*TWO"])), text);
  [status, text] = run (sprintf ("- < '%s'", g));
  assert (status == 0 && ! isempty (strfind (text, "TWO")), text);
  market = fullfile (dir, "in.mtx");
  fid = fopen (market, "w"); fputs (fid, "%%MatrixMarket matrix coordinate real general\n2 2 1\n2 1 7\n"); fclose (fid);
  h = fullfile (dir, "piped.op4");
  [status, text] = run (sprintf ("--write - 'P=-' < '%s' > '%s'", market, h));
  assert (status, 0, text);
  assert (full (zorvane (h, "P", 0)), [0 0; 7 0]);
  ## /dev/stdout is the descriptor the shell opened: an append redirection stays one.
  log = fullfile (dir, "log.txt");
  fid = fopen (log, "w"); fputs (fid, "HEAD\n"); fclose (fid);
  [status, text] = run (sprintf ("--write /dev/stdout 'P=%s' >> '%s'", market, log));
  assert (status, 0, text);
  bytes = file_bytes (log);
  assert (char (bytes(1:5)), "HEAD\n");
  assert (isequal (bytes(6:end), file_bytes (h)));
  ## A run that fails after making its folder removes it.
  out = fullfile (dir, "made", "deeper");
  [status, text] = run (sprintf ("'%s' -o '%s' NOSUCH", f, out));
  assert (status, 1);
  assert (! exist (fullfile (dir, "made"), "dir"), text);
  [status, text] = run (sprintf ("'%s'", dir));
  assert (status == 1 && ! isempty (strfind (text, "is a folder")), text);
  [status, text] = run (sprintf ("--write '%s' '%s'", h, dir));
  assert (status == 1 && ! isempty (strfind (text, "is a folder")), text);
  [status, text] = run (sprintf ("--write '%s' 'XXXXXXXX=%s'", h, market));
  assert (status == 1 && ! isempty (strfind (text, "reserved")), text);
endfunction

function [status, text] = run (args)
  [status, text] = system (["./zorvane-mm " args " 2>&1"]);
endfunction

function expect_id (call, identifier)
  try
    call ();
  catch err
    assert (err.identifier, identifier);
    return;
  end_try_catch
  error ("expected %s", identifier);
endfunction
