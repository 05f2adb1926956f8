## The built zorvane in Octave: errors as Octave shows them, list mode,
## every decoded path bit for bit, damaged files, realistic matrices.
function test_zorvane ()
  dir = tempname ();
  mkdir (dir);
  cleanup = onCleanup (@() confirm_recursive_rmdir (false) || rmdir (dir, "s"));
  check_errors (dir);
  check_list_mode (dir);
  check_paths (dir);
  check_damaged_files (dir);
  check_realistic (dir);
  assert (! isempty (strfind (evalc ("help zorvane"), "zorvane (FILE, NAME, SELECTOR)")));
  printf ("test_zorvane: all checks passed\n");
endfunction

## Calls zorvane with the cell args, asking for one output or, with
## nargout 0, for none.
function expect_error (args, identifier, message, nargout_wanted = 1)
  try
    if (nargout_wanted == 1)
      A = zorvane (args{:});
    else
      zorvane (args{:});
    endif
  catch err
    assert (err.identifier, identifier);
    assert (err.message, message);
    return;
  end_try_catch
  error ("expected the error '%s'", message);
endfunction

function check_errors (dir)
  f = fullfile (dir, "one.op4");
  op4_write (f, [op4_header(1, 1, 1, 2, "KAA"), op4_column(1, 1, op4_words(5, "double"))]);
  expect_error ({f, "KAA"}, "MATLAB:zorvane:nInput", "zorvane: Three inputs required.");
  expect_error ({f, "KAA", 0}, "MATLAB:zorvane:nOutput", "zorvane: One output required.", 0);
  expect_error ({f, "XXXXXXXX", 0}, "MATLAB:zorvane:nOutput", "zorvane: One output required.", 0);
  expect_error ({1, "KAA", 0}, "MATLAB:zorvane:NonString", "zorvane: First input must be string.");
  expect_error ({f, 2, 0}, "MATLAB:zorvane:NonString", "zorvane: Second input must be string.");
  expect_error ({"", "KAA", 0}, "MATLAB:zorvane:NonRowVector", "zorvane: First input must be row vector.");
  expect_error ({f, "", 0}, "MATLAB:zorvane:NonRowVector", "zorvane: Second input must be row vector.");
  expect_error ({repmat("a", 1, 81), "KAA", 0}, "MATLAB:zorvane:TooLong", "zorvane: First input string is too long.");
  expect_error ({f, "ABCDEFGHI", 0}, "MATLAB:zorvane:TooLong", "zorvane: Second input string is too long.");
  expect_error ({f, "KAA", "0"}, "MATLAB:zorvane:NonNumeric", "zorvane: Third input must be numeric.");
  expect_error ({f, "KAA", {0}}, "MATLAB:zorvane:NonNumeric", "zorvane: Third input must be numeric.");
  expect_error ({f, "KAA", [0 1]}, "MATLAB:zorvane:NotScalar", "zorvane: Third input must be scalar.");
  expect_error ({fullfile(dir, "none.op4"), "KAA", 0}, "", host_message ("zorvane", "zorvane: Could not open file"));
  expect_error ({f, "MAA", 0}, "", host_message ("zorvane", "zorvane: Matrix could not be found."));
  A = zorvane (f, "KAA", true);
  assert (issparse (A) && isreal (A) && isequal (size (A), [1 1]) && A(1, 1) == 5);
  A = zorvane (f, "KAA", int8 (-3));
  assert (nnz (A) == 1 && nzmax (A) == 1);
endfunction

function check_list_mode (dir)
  f = fullfile (dir, "three.op4");
  op4_write (f, [op4_header(1, 1, 1, 2, "KAA"), op4_column(1, 1, op4_words(1, "double")), ...
                 op4_header(1, 1, 1, 1, "M z`"), op4_column(1, 1, op4_words(2, "single")), ...
                 op4_header(1, 1, 1, 2, "XXXXXXXX"), op4_column(1, 1, op4_words(3, "double"))]);
  printed = "";
  try
    printed = evalc ("A = zorvane (f, 'XXXXXXXX', 0);");
    error ("list mode returned");
  catch err
    assert (err.message, host_message ("zorvane", "zorvane: Matrix could not be found."));
  end_try_catch
  printed = evalc ("try, A = zorvane (f, 'XXXXXXXX', 0); catch, end");
  assert (printed, sprintf ("KAA     \nM z`    \nXXXXXXXX\n"));
  assert (full (zorvane (f, "M z`", 0)), 2);
endfunction

## Octave's own matrix from the same numbers, compared through find and num2hex.
function assert_same (A, rows, cols, vals, m, n)
  B = sparse (rows, cols, vals, m, n);
  assert (issparse (A) && isreal (A));
  assert (size (A), [m n]);
  [i1, j1, v1] = find (A);
  [i2, j2, v2] = find (B);
  assert (i1, i2);
  assert (j1, j2);
  assert (num2hex (v1), num2hex (v2));
  assert (nzmax (A), max (nnz (A), 1));
endfunction

function check_paths (dir)
  f = fullfile (dir, "paths.op4");
  big = 70000;
  op4_write (f, [op4_header(3, 4, 1, 1, "DENSE1"), ...
                 op4_column(1, 1, op4_words([1.5 0 1e-33 -2.25], "single")), ...
                 op4_column(3, 2, op4_words([single(pi) NaN 7], "single")), op4_column(4, 1, []), ...
                 op4_header(2, 4, 1, 2, "DENSE2"), ...
                 op4_column(1, 2, op4_words([-1e-40 0.1 2e-32], "double")), ...
                 op4_column(2, 1, op4_words([exp(1) 0 0 -Inf], "double")), ...
                 op4_header(2, 9, 1, 1, "PACKED1"), ...
                 op4_column(2, 0, [uint32(3 * 65536 + 1), op4_words([0.5 0], "single"), ...
                                   uint32(2 * 65536 + 7), op4_words(-8, "single")]), op4_column(3, 1, []), ...
                 op4_header(2, 9, 1, 2, "PACKED2"), ...
                 op4_column(1, 0, [uint32(5 * 65536 + 1), op4_words([0 1/3], "double")]), ...
                 op4_column(2, 0, [uint32(3 * 65536 + 9), op4_words(NaN, "double")]), ...
                 op4_header(2, -big, 1, 2, "LARGE2"), ...
                 op4_column(2, 0, [uint32([3 3]), op4_words(4, "double"), ...
                                   uint32([5 big-1]), op4_words([1e300 -1e-300], "double")]), op4_column(3, 1, [])]);
  assert_same (zorvane (f, "DENSE1", 0), [1 4 2 4], [1 1 3 3], double (single ([1.5 -2.25 pi 7])), 4, 3);
  assert_same (zorvane (f, "DENSE1", 1), [1 2], [1 3], double (single ([1.5 pi])), 4, 3);
  assert_same (zorvane (f, "DENSE2", -1), [3 4 1 4], [1 1 2 2], [0.1 2e-32 exp(1) -Inf], 4, 2);
  assert_same (zorvane (f, "DENSE2", 1), [1], [2], [exp(1)], 4, 2);
  assert_same (zorvane (f, "PACKED1", 0), [1 7], [2 2], [0.5 -8], 9, 2);
  assert_same (zorvane (f, "PACKED1", 2), [1], [2], [0.5], 9, 2);
  assert_same (zorvane (f, "PACKED1", -1), [1 7], [2 2], [0.5 -8], 9, 2);
  ## Explicit zeros and NaNs of the double-layout strings reach Octave as stored.
  P = zorvane (f, "PACKED2", 0);
  assert (size (P), [9 2]);
  assert (full (P(2, 1)), 1/3);
  assert (isnan (full (P(9, 2))));
  [i, j, v] = find (zorvane (f, "PACKED2", -1));
  assert ([i, j], [1 1; 2 1; 9 2]);
  assert (num2hex (v), num2hex ([0; 1/3; NaN]));
  assert_same (zorvane (f, "LARGE2", 0), [3 big-1 big], [2 2 2], [4 1e300 -1e-300], big, 2);
  assert_same (zorvane (f, "LARGE2", 1), [], [], [], big, 2);
  assert_same (zorvane (f, "LARGE2", -1), [3 big-1 big], [2 2 2], [4 1e300 -1e-300], big, 2);
endfunction

function check_damaged_files (dir)
  f = fullfile (dir, "damaged.op4");
  good = [op4_header(2, 3, 1, 2, "KAA"), op4_column(1, 1, op4_words([1 2], "double")), ...
          op4_column(2, 1, op4_words([3 4 5], "double"))];
  damaged = {good(1:end-5), ...                                         # truncated
             [op4_header(2, 3, 1, 2, "KAA"), op4_column(1, 3, op4_words([1 2], "double"))], ... # row 4 of 3
             [op4_header(2, 3, 1, 2, "KAA"), op4_column(1, 0, uint32([0 0 0]))], ...           # string length 0
             [op4_header(-2, 3, 1, 2, "KAA")]};
  for k = 1:numel (damaged)
    op4_write (f, damaged{k});
    try
      A = zorvane (f, "KAA", 0);
      error ("damaged file %d was read", k);
    catch err
      assert (err.identifier, "MATLAB:zorvane:BadFile");
    end_try_catch
  endfor
  op4_write (f, [op4_header(1, 1, 1, 4, "KAA"), op4_column(1, 1, op4_words([1 2], "double"))]);
  assert (full (zorvane (f, "KAA", 0)), 1 + 2i);
  op4_write (f, good);
  assert (nnz (zorvane (f, "KAA", 0)), 5);
endfunction

function check_realistic (dir)
  cases = {60000, "packed"; 200000, "large"};
  for k = 1:rows (cases)
    [n, encoding] = cases{k, :};
    f = fullfile (dir, "band.op4");
    op4_write (f, band_file (n, "KGG", encoding));
    [rows, cols, vals] = band (n);
    assert_same (zorvane (f, "KGG", 0), rows, cols, vals, n, n);
    upper = rows <= cols;
    assert_same (zorvane (f, "KGG", 1), rows(upper), cols(upper), vals(upper), n, n);
    lower = rows >= cols;
    assert_same (zorvane (f, "KGG", -1), rows(lower), cols(lower), vals(lower), n, n);
  endfor
endfunction
