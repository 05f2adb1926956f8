## memory_bound (): run under an address-space limit. A damaged header
## claiming 2000000000 columns ends in the plug-in's own OutOfMemory error,
## and the session goes on: 100000000 columns still give their empty matrix.
function memory_bound ()
  f = [tempname() ".op4"];
  cleanup = onCleanup (@() unlink (f));
  op4_write (f, [op4_header(2000000000, 3, 1, 2, "KAA"), op4_column(2000000001, 1, [])]);
  ## 8 bytes a column pointer, twice where the host copies the result (MEX).
  [~, ~, ext] = fileparts (which ("zorvane"));
  native = strcmp (ext, ".oct");
  needed = 8 * 2000000001 * merge (native, 1, 2);
  if (needed < 0.9 * process_can_get ())
    ## A native host holds the matrix once, and this machine has room for it.
    printf ("memory_bound: %d MB fit here, the refusal is not tried\n", round (needed / 2^20));
  else
    try
      A = zorvane (f, "KAA", 0);
      error ("a matrix beyond the process's memory was created");
    catch err
      assert (err.identifier, "MATLAB:zorvane:OutOfMemory", err.message);
      needs = merge (native, "1525", "3051");
      assert (! isempty (regexp (err.message, ["needs " needs "\\d+ MB, the process can get \\d+ MB"])), err.message);
    end_try_catch
  endif
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

## Bytes the process can get: the machine's available memory, or what its
## address-space limit leaves, whichever is less.
function bytes = process_can_get ()
  meminfo = fileread ("/proc/meminfo");
  bytes = 1024 * str2double (regexp (meminfo, "MemAvailable:\\s*(\\d+)", "tokens", "once"){1});
  limit = regexp (fileread ("/proc/self/limits"), "Max address space\\s+(\\d+)", "tokens", "once");
  if (! isempty (limit))
    bytes = min (bytes, str2double (limit{1}));
  endif
endfunction
