## What the plug-ins hand back holds exactly its entries, real and complex,
## from every reading function; a file damaged halfway through its largest
## matrix, read again and again, leaves no memory behind.
function test_result_storage ()
  dir = tempname ();
  mkdir (dir);
  cleanup = onCleanup (@() confirm_recursive_rmdir (false) || rmdir (dir, "s"));
  [r, c, v] = band (200000);
  A = sparse (r, c, v);
  C = A + 1i * triu (A);
  f = fullfile (dir, "m.op4");
  zorvane_save (f, {"A", "C", "Z"}, {A, C, sparse(3, 4)});
  check_exact (zorvane (f, "A", 0), A);
  check_exact (zorvane (f, "C", 0), C);
  check_exact (zorvane (f, "C", 1), triu (C));
  check_exact (zorvane (f, "Z", 0), sparse (3, 4));
  for m = zorvane_load (f)'
    check_exact (m.matrix, {A, C, sparse(3, 4)}{strcmp (m.name, {"A", "C", "Z"})});
  endfor
  p = fullfile (dir, "m.pch");
  small = round (64 * A(1:300, 1:300)) / 64; # values the 16-column fields hold exactly
  zorvane_dmig_save (p, "K", small, [(1:300)' ones(300, 1)], [(1:300)' ones(300, 1)]);
  check_exact (zorvane_dmig_load (p).matrix, small);
  check_leaks (f, dir);
  printf ("test_result_storage: all checks passed\n");
endfunction

function check_exact (B, expected)
  assert (isequal (B, expected));
  assert (nzmax (B), max (nnz (B), 1));
endfunction

## zorvane and zorvane_load on the file cut inside C, its second matrix
## (each call decodes A and part of C, then fails), and C read whole: the
## process's memory stays where the first calls left it.
function check_leaks (f, dir)
  bytes = file_bytes (f);
  g = fullfile (dir, "cut.op4");
  fid = fopen (g, "w");
  fwrite (fid, bytes(1:round (0.8 * numel (bytes))));
  fclose (fid);
  calls = {@() size(zorvane(g, "C", 0)), @() size(zorvane_load(g))};
  for round = 1:16
    if (round == 2)
      before = resident_bytes ();
    endif
    for k = 1:2
      expect_failure (calls{k}, "MATLAB:zorvane:BadFile");
    endfor
    B = zorvane (f, "C", 0);
    clear B;
  endfor
  grown = resident_bytes () - before;
  ## One leaked C alone would be 11 MB or more; 15 of them, 160 MB.
  assert (grown < 20e6, sprintf ("memory grew by %.0f MB", grown / 1e6));
endfunction

function bytes = resident_bytes ()
  status = fileread ("/proc/self/status");
  bytes = 1024 * str2double (regexp (status, "VmRSS:\\s*(\\d+)", "tokens", "once"){1});
endfunction
