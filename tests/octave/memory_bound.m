## memory_bound (): run under an address-space limit. A damaged header
## claiming 2000000000 columns ends in the plug-in's own OutOfMemory error,
## and the session goes on: 100000000 columns still give their empty matrix.
function memory_bound ()
  f = [tempname() ".op4"];
  cleanup = onCleanup (@() unlink (f));
  op4_write (f, [op4_header(2000000000, 3, 1, 2, "KAA"), op4_column(2000000001, 1, [])]);
  try
    A = zorvane (f, "KAA", 0);
    error ("a matrix beyond the process's memory was created");
  catch err
    assert (err.identifier, "MATLAB:zorvane:OutOfMemory", err.message);
    assert (! isempty (regexp (err.message, "needs 3051\\d+ MB, the process can get \\d+ MB")), err.message);
  end_try_catch
  op4_write (f, [op4_header(100000000, 3, 1, 2, "KAA"), op4_column(100000001, 1, [])]);
  A = zorvane (f, "KAA", 0);
  assert (size (A), [3 100000000]);
  assert (nnz (A), 0);
  ## A 60-byte file whose header claims 1000000000 columns and whose first
  ## record is damaged: its damage, with memory in proportion to the file.
  op4_write (f, [op4_header(1000000000, 9, 1, 2, "KAA"), op4_column(1, 10, op4_words(1, "double"))]);
  for call = {@() zorvane(f, "KAA", 0), @() zorvane_load(f)}
    try
      A = call{1} ();
      error ("a damaged matrix was returned");
    catch err
      assert (err.identifier, "MATLAB:zorvane:BadFile", err.message);
      assert (! isempty (strfind (err.message, "row 10 of column 1 lies outside the matrix")), err.message);
    end_try_catch
  endfor
  printf ("memory_bound: all checks passed\n");
endfunction
