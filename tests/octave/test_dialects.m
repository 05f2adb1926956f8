## The dialects beyond the little-endian real files: byte order, complex
## values, value-count strings, single-precision large matrices, long
## records; and names holding a NUL byte.
function test_dialects ()
  dir = tempname ();
  mkdir (dir);
  cleanup = onCleanup (@() confirm_recursive_rmdir (false) || rmdir (dir, "s"));
  check_big_endian (dir);
  check_complex (dir);
  check_value_count (dir);
  check_large_single (dir);
  check_long_record (dir);
  check_nul_in_names (dir);
  printf ("test_dialects: all checks passed\n");
endfunction

## A holds exactly the entries (i, j, v), bit for bit in both parts;
## stored zeros count.
function assert_entries (A, i, j, v, m, n)
  assert (size (A), [m n]);
  assert (iscomplex (A), ! isreal (v));
  [~, order] = sortrows ([j(:), i(:)]);
  v = v(:)(order);
  [i1, j1, v1] = find (A);
  assert ([i1, j1], [i(:)(order), j(:)(order)]);
  assert (num2hex (real (v1)), num2hex (real (v)));
  assert (num2hex (imag (v1)), num2hex (imag (v)));
  assert (nzmax (A), max (nnz (A), 1));
endfunction

function check_big_endian (dir)
  little = fullfile (dir, "little.op4");
  big = fullfile (dir, "big.op4");
  for encoding = {"large", "packed"}
    op4_write (little, band_file (30000, "KGG", encoding{1}));
    op4_big_endian (true);
    unwind_protect
      op4_write (big, band_file (30000, "KGG", encoding{1}));
    unwind_protect_cleanup
      op4_big_endian (false);
    end_unwind_protect
    for selector = [0 1 -1]
      [i, j, v] = find (zorvane (little, "KGG", selector));
      assert_entries (zorvane (big, "KGG", selector), i, j, v, 30000, 30000);
    endfor
  endfor
  op4_big_endian (true);
  unwind_protect
    op4_write (big, [op4_header(2, 3, 1, 1, "MAA"), op4_column(2, 2, op4_words([1.5 -2], "single")), ...
                     op4_column(3, 1, []), op4_header(1, 1, 1, 2, "KAA"), op4_column(1, 1, op4_words(7, "double"))]);
  unwind_protect_cleanup
    op4_big_endian (false);
  end_unwind_protect
  assert (evalc ("try, A = zorvane (big, 'XXXXXXXX', 0); catch, end"), sprintf ("MAA     \nKAA     \n"));
  assert_entries (zorvane (big, "MAA", 0), [2 3], [2 2], [1.5 -2], 3, 2);
  assert_entries (zorvane (big, "KAA", 0), 1, 1, 7, 1, 1);
endfunction

function check_complex (dir)
  f = fullfile (dir, "complex.op4");
  z = [1+2i, 1e-40+3i, 1e-40+1e-40i, -4-0i];
  op4_write (f, [op4_header(2, 4, 1, 3, "DENSE3"), op4_column(1, 1, op4_words(single(z), "single")), ...
                 op4_column(3, 1, []), ...
                 op4_header(2, 4, 1, 4, "DENSE4"), op4_column(2, 1, op4_words(z, "double")), ...
                 op4_header(3, 5, 1, 3, "PACKED3"), ...
                 op4_column(2, 0, [uint32(5 * 65536 + 1), op4_words(single(z(1:2)), "single"), ...
                                   uint32(3 * 65536 + 4), op4_words(single(z(3)), "single")]), op4_column(4, 1, []), ...
                 op4_header(3, 5, 1, 4, "PACKED4"), ...
                 op4_column(2, 0, [uint32(9 * 65536 + 1), op4_words(z(1:2), "double"), ...
                                   uint32(5 * 65536 + 4), op4_words(z(3), "double")]), op4_column(4, 1, []), ...
                 op4_header(2, -70000, 1, 4, "LARGE4"), ...
                 op4_column(2, 0, [uint32([9 69998]), op4_words(z(1:2), "double")]), op4_column(3, 1, []), ...
                 op4_header(2, -70000, 1, 3, "LARGE3"), ...
                 op4_column(1, 0, [uint32([5 1]), op4_words(single(z(3:4)), "single")]), op4_column(3, 1, [])]);
  zs = double (single (z));
  ## A complex value is dropped only when neither part passes the threshold.
  assert_entries (zorvane (f, "DENSE3", 0), [1 2 4], [1 1 1], zs([1 2 4]), 4, 2);
  assert_entries (zorvane (f, "DENSE4", 1), [1 2], [2 2], z(1:2), 4, 2);
  assert_entries (zorvane (f, "PACKED3", 0), [1 2], [2 2], zs(1:2), 5, 3);
  assert_entries (zorvane (f, "PACKED4", -1), [2 4], [2 2], z(2:3), 5, 3);
  assert_entries (zorvane (f, "LARGE4", 0), [69998 69999], [2 2], z(1:2), 70000, 2);
  assert_entries (zorvane (f, "LARGE3", 0), [1 2], [1 1], zs(3:4), 70000, 2);
endfunction

## The other solver family's strings: H = values x 65536 + row.
function check_value_count (dir)
  f = fullfile (dir, "counts.op4");
  vc = @(n, r) uint32 (n * 65536 + r);
  end_record = op4_column (4, 1, op4_words (0, "single"));
  op4_write (f, [op4_header(3, 9, 6, 2, "KVC2"), ...
                 op4_column(1, 0, [vc(2, 1), op4_words([1.5 2.5], "double"), vc(1, 5), op4_words(7, "double")]), ...
                 op4_column(3, 0, [vc(1, 3), op4_words(0, "double"), vc(2, 8), op4_words([-1 NaN], "double")]), ...
                 end_record, ...
                 op4_header(3, 9, 6, 1, "KVC1"), op4_column(2, 0, [vc(1, 5), op4_words(4, "single")]), ...
                 op4_column(3, 0, [vc(3, 1), op4_words([1 0 3], "single")]), end_record, ...
                 op4_header(3, 9, 6, 2, "MIXED"), ...
                 op4_column(1, 0, [uint32(5 * 65536 + 1), op4_words([1 2], "double")]), ...
                 op4_column(2, 0, [vc(1, 5), op4_words(7, "double")]), end_record]);
  assert_entries (zorvane (f, "KVC2", 0), [1 2 5 3 8 9], [1 1 1 3 3 3], [1.5 2.5 7 0 -1 NaN], 9, 3);
  assert_entries (zorvane (f, "KVC2", 1), [1 3], [1 3], [1.5 0], 9, 3);
  ## One value of one string: the rule of words + 1 would read an empty column.
  assert_entries (zorvane (f, "KVC1", 0), [5 1 3], [2 3 3], [4 1 3], 9, 3);
  assert_entries (zorvane (f, "KVC1", 1), [1 3], [3 3], [1 3], 9, 3);
  try
    A = zorvane (f, "MIXED", 0);
    error ("a matrix of mixed string layouts was read");
  catch err
    assert (err.identifier, "MATLAB:zorvane:BadFile");
    assert (! isempty (strfind (err.message, "mixed string layouts")), err.message);
  end_try_catch
endfunction

function check_large_single (dir)
  f = fullfile (dir, "large1.op4");
  op4_write (f, [op4_header(3, -70000, 1, 1, "LARGE1"), ...
                 op4_column(2, 0, [uint32([3 1]), op4_words([0.5 0], "single"), ...
                                   uint32([2 69999]), op4_words(-3, "single")]), op4_column(4, 1, [])]);
  assert_entries (zorvane (f, "LARGE1", 0), [1 2 69999], [2 2 2], [0.5 0 -3], 70000, 3);
  assert_entries (zorvane (f, "LARGE1", 1), [1 2], [2 2], [0.5 0], 70000, 3);
  assert_entries (zorvane (f, "LARGE1", -5), [2 69999], [2 2], [0 -3], 70000, 3);
endfunction

function check_long_record (dir)
  f = fullfile (dir, "long.op4");
  values = zeros (1, 600000);
  values([1 2 300000 600000]) = [1 -2 3 4];
  op4_write (f, [op4_header(1, 600000, 1, 2, "KLONG"), op4_column(1, 1, op4_words(values, "double"))]);
  assert_entries (zorvane (f, "KLONG", 0), [1 2 300000 600000], [1 1 1 1], [1 -2 3 4], 600000, 1);
endfunction

function check_nul_in_names (dir)
  f = fullfile (dir, "plate.op4");
  op4_write (f, [op4_header(1, 1, 1, 2, "KAA"), op4_column(1, 1, op4_words(5, "double"))]);
  for args = {{f, ["KAA" char(0) "QQ"]}, {[f char(0) "zz"], "KAA"}}
    try
      A = zorvane (args{1}{:}, 0);
      error ("a name with a NUL byte was taken short");
    catch err
      assert (any (strcmp (err.message, {host_message("zorvane", "zorvane: Matrix could not be found."), ...
                                         host_message("zorvane", "zorvane: Could not open file")})), err.message);
    end_try_catch
  endfor
  ## The runner takes a name that reads as a number as text when told to.
  op4_write (f, [op4_header(1, 1, 1, 2, "NAN"), op4_column(1, 1, op4_words(5, "double"))]);
  [status, out] = system (sprintf ("./mexrun -q -t 2 standin/zorvane.mex '%s' NAN 0", f));
  assert (status, 0);
  assert (strtrim (out), "1 x 1, 1 stored");
endfunction
