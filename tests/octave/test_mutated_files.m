## A few thousand damaged files fed to zorvane in one Octave process:
## every call returns a valid sparse matrix or raises a documented error,
## and the session goes on.
function test_mutated_files ()
  dir = tempname ();
  mkdir (dir);
  cleanup = onCleanup (@() confirm_recursive_rmdir (false) || rmdir (dir, "s"));
  f = fullfile (dir, "mutated.op4");
  good = original ();
  names = {"KAA", "PACKED", "LARGE", "XXXXXXXX"};
  rand ("seed", 42);
  tried = 0;
  ## Truncated at every length.
  for n = 0:numel (good)
    tried += try_file (f, good(1:n), names{mod (n, 4) + 1});
  endfor
  ## Flipped bytes.
  for k = 1:1500
    bytes = good;
    where = randi (numel (bytes), 1, randi (3));
    bytes(where) = bitxor (bytes(where), uint8 (randi (255, size (where))));
    tried += try_file (f, bytes, names{mod (k, 4) + 1});
  endfor
  ## Huge, negative and zero counts and lengths written over every aligned word.
  extremes = int32 ([intmax("int32"), intmin("int32"), -1, 0, 1, 65535, 65536, 1000001, -65537]);
  for offset = 0:4:numel (good) - 4
    for v = extremes
      bytes = good;
      bytes(offset + (1:4)) = typecast (v, "uint8");
      tried += try_file (f, bytes, names{mod (offset / 4, 4) + 1});
    endfor
  endfor
  printf ("test_mutated_files: %d mutated files read without a crash\n", tried);
endfunction

## Three matrices in the three encodings, with strings that can be made to
## point backward by the mutations.
function bytes = original ()
  bytes = [op4_header(3, 4, 1, 2, "KAA"), op4_column(1, 1, op4_words([1 2 3 4], "double")), ...
           op4_column(3, 2, op4_words([5 6], "double")), op4_column(4, 1, op4_words(0, "double")), ...
           op4_header(2, 9, 1, 1, "PACKED"), ...
           op4_column(1, 0, [uint32(3 * 65536 + 1), op4_words([0.5 1], "single"), ...
                             uint32(2 * 65536 + 7), op4_words(-8, "single")]), ...
           op4_column(2, 0, [uint32(4 * 65536 + 2), op4_words([1 2 3], "single")]), ...
           op4_header(2, -70000, 1, 2, "LARGE"), ...
           op4_column(1, 0, [uint32([5 69998]), op4_words([1 2], "double")]), ...
           op4_column(2, 0, [uint32([3 2]), op4_words(4, "double"), uint32([3 9]), op4_words(5, "double")]), ...
           op4_column(3, 1, [])];
endfunction

function tried = try_file (f, bytes, name)
  op4_write (f, bytes);
  tried = 1;
  try
    ## evalc keeps list mode's lines out of the test log.
    evalc ("A = zorvane (f, name, mod (numel (bytes), 3) - 1);");
  catch err
    assert (is_documented (err), "undocumented error: %s / %s", err.identifier, err.message);
    return;
  end_try_catch
  assert (issparse (A) && isreal (A) && isa (A, "double"));
  [i, j] = find (A);
  assert (all (i >= 1 & i <= rows (A) & j >= 1 & j <= columns (A)));
  assert (nzmax (A) == max (nnz (A), 1));
  [~, order] = sortrows ([j, i]);
  assert (isequal (order(:)', 1:numel (i)), "entries out of order");
endfunction

function ok = is_documented (err)
  ids = {"MATLAB:zorvane:BadFile", "MATLAB:zorvane:TooLarge", ...
         "MATLAB:zorvane:OutOfMemory", "Octave:bad-alloc"};
  messages = {host_message("zorvane", "zorvane: Could not open file"), host_message("zorvane", "zorvane: Matrix could not be found.")};
  ok = any (strcmp (err.identifier, ids)) || (isempty (err.identifier) && any (strcmp (err.message, messages)));
endfunction
