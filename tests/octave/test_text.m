## Text matrix files in both layouts read exactly as the binary file of the
## same records: every column encoding, real and complex, single and double,
## Fortran's number forms, CR LF lines; and the damage a text file can hold.
function test_text ()
  dir = tempname ();
  mkdir (dir);
  cleanup = onCleanup (@() confirm_recursive_rmdir (false) || rmdir (dir, "s"));
  check_t1 (dir);
  check_t2 (dir);
  check_numbers (dir);
  check_long_column (dir);
  check_damage (dir);
  printf ("test_text: all checks passed\n");
endfunction

## Fortran's Ew.d with 1P: a number right-aligned in its field, negative
## ones filling it; an exponent of three digits loses its letter.
function text = fortran_e (values, width, digits, letter = "E")
  text = "";
  for v = values(:)'
    field = sprintf ("%*.*E", width, digits, v);
    field = sprintf ("%*s", width, regexprep (field, "E([+-]\\d{3})$", "$1"));
    text = [text, strrep(field, "E", letter)];
  endfor
endfunction

## Values in lines of per_line fields.
function text = t1_values (values, per_line, width, digits)
  text = "";
  for k = 1:per_line:numel (values)
    text = [text, fortran_e(values(k:min (k + per_line - 1, end)), width, digits), "\n"];
  endfor
endfunction

function assert_same_as_binary (text_file, binary_file, name, selectors)
  for s = selectors
    A = zorvane (text_file, name, s);
    B = zorvane (binary_file, name, s);
    assert (size (A), size (B));
    [i1, j1, v1] = find (A);
    [i2, j2, v2] = find (B);
    assert ([i1 j1], [i2 j2]);
    assert (num2hex ([real(v1); imag(v1)]), num2hex ([real(v2); imag(v2)]));
  endfor
endfunction

function check_t1 (dir)
  txt = fullfile (dir, "t1.txt.op4");
  bin = fullfile (dir, "t1.op4");
  d = [1.5 -2.25 1e100 -1e-300 0 7];
  z = [1+2i -3-4i];
  w = single ([0.1 -1e-20 3e38 2.5]);
  t = [sprintf("%8d%8d%8d%8d%-8s%s\n", 3, 6, 2, 2, "KDD", "1P,3E23.16"), ...
       sprintf("%8d%8d%8d\n", 1, 1, 12), t1_values(d, 3, 23, 16), ...
       sprintf("%8d%8d%8d\n", 2, 0, 8), sprintf("%8d\n", 5 * 65536 + 2), t1_values(d(3:4), 3, 23, 16), ...
       sprintf("%8d\n", 3 * 65536 + 6), t1_values(d(2), 3, 23, 16), sprintf("%8d%8d%8d\n", 4, 1, 2), ...
       t1_values(0, 3, 23, 16), ...
       sprintf("%8d%8d%8d%8d%-8s%s\n", 2, -70000, 2, 1, "KLS", "1P,5E16.9"), ...
       sprintf("%8d%8d%8d\n", 2, 0, 6), sprintf("%8d%8d\n", 5, 69997), t1_values(double (w), 5, 16, 9), ...
       sprintf("%8d%8d%8d\n", 3, 1, 1), t1_values(0, 5, 16, 9), ...
       sprintf("%16d%16d%8d%8d%-8s%s\n", 1, 2, 1, 4, "KZ", "1P,3E23.16|I16"), ...
       sprintf("%8d%8d%8d\n", 1, 1, 8), t1_values([real(z); imag(z)](:), 3, 23, 16), ...
       sprintf("%8d%8d%8d\n", 2, 1, 1), t1_values(0, 3, 23, 16)];
  fid = fopen (txt, "w"); fputs (fid, t); fclose (fid);
  op4_write (bin, [op4_header(3, 6, 2, 2, "KDD"), op4_column(1, 1, op4_words(d, "double")), ...
                   op4_column(2, 0, [uint32(5 * 65536 + 2), op4_words(d(3:4), "double"), ...
                                     uint32(3 * 65536 + 6), op4_words(d(2), "double")]), ...
                   op4_column(4, 1, op4_words(0, "double")(1)), ...
                   op4_header(2, -70000, 2, 1, "KLS"), op4_column(2, 0, [uint32([5 69997]), op4_words(w, "single")]), ...
                   op4_column(3, 1, op4_words(0, "single")), ...
                   op4_header(1, 2, 1, 4, "KZ"), op4_column(1, 1, op4_words(z, "double")), ...
                   op4_column(2, 1, op4_words(0, "double")(1))]);
  assert_same_as_binary (txt, bin, "KDD", [0 1 -1]);
  assert_same_as_binary (txt, bin, "KLS", [0 1 -1]);
  assert_same_as_binary (txt, bin, "KZ", 0);
  assert (full (zorvane (txt, "KZ", 0)), z.');
  assert (evalc ("try, A = zorvane (txt, 'XXXXXXXX', 0); catch, end"), sprintf ("KDD     \nKLS     \nKZ      \n"));
endfunction

## T2: free-width fields, D exponents, sparse columns as "column -row count"
## string lines; CR LF line ends.
function check_t2 (dir)
  txt = fullfile (dir, "t2.txt.op4");
  bin = fullfile (dir, "t2.op4");
  v = [9.5556633624219731e5 -1.6557835937500003e5 0 1/3 -2];
  line = @(varargin) [sprintf(varargin{:}), "\r\n"];
  d = @(x) fortran_e (x, 26, 16, "D");
  t = [line("%14d%13d%13d%13d     %s", 3, 4, -6, 2, "KGG"), line("%17d%16d%16d", 1, 1, 6), ...
       line("%s", d(v(1:3))), line("%17d%16d%16d", 3, -2, 2), line("%s", d(v(4:5))), ...
       line("%17d%16d%16d", 3, -4, 1), line("%s", d(v(1))), line("%17d%16d%16d", 4, 1, 1), line("%s", d(0)), ...
       line("%14d%13d%13d%13d     %s", 1, 3, 1, 3, "QS"), line("%17d%16d%16d", 1, -2, 2), ...
       line("%s", fortran_e ([1 -1 2 -2], 16, 9)), line("%17d%16d%16d", 2, 1, 1), line("%s", fortran_e (0, 16, 9))];
  fid = fopen (txt, "w"); fputs (fid, t); fclose (fid);
  vc = @(n, r) uint32 (n * 65536 + r);
  op4_write (bin, [op4_header(3, 4, -6, 2, "KGG"), op4_column(1, 1, op4_words(v(1:3), "double")), ...
                   op4_column(3, 0, [vc(2, 2), op4_words(v(4:5), "double"), vc(1, 4), op4_words(v(1), "double")]), ...
                   op4_column(4, 1, op4_words(0, "single")), ...
                   op4_header(1, 3, 1, 3, "QS"), op4_column(1, 0, [vc(2, 2), op4_words(single([1-1i 2-2i]), "single")]), ...
                   op4_column(2, 1, op4_words(0, "single"))]);
  assert_same_as_binary (txt, bin, "KGG", [0 1 -1]);
  assert_same_as_binary (txt, bin, "QS", 0);
  info = zorvane_dir (txt);
  assert ({info.name}, {"KGG", "QS"});
  assert (all (strcmp ({info.format}, "text")));
endfunction

## Single-precision values are the binary32 nearest the text, not the
## double nearest it rounded again; overflow and underflow as IEEE; fields
## that touch. Large-matrix strings keep every value, so all six show.
function check_numbers (dir)
  f = fullfile (dir, "numbers.txt.op4");
  t = [sprintf("%6d %6d %4d %4d %s\n", 1, 70000, 1, 1, "S"), sprintf("%6d %6d %6d\n", 1, -1, 6), ...
       "  1.00000005960464478E+00  5.0D+39  -5.0-100\n    2.5e-45 -1.5E+00-2.5E+00\n", ...
       sprintf("%6d %6d %6d\n  0.0E+00\n", 2, 1, 1)];
  fid = fopen (f, "w"); fputs (fid, t); fclose (fid);
  A = full (zorvane (f, "S", 0));
  assert (num2hex (A(1:6)), num2hex ([1 + 2^-23; Inf; -0; 2^-148; -1.5; -2.5]));
  ## A T1 line shifted by a blank is not cut into the format's fields.
  t = [sprintf("%8d%8d%8d%8d%-8s%s\n", 1, 2, 1, 2, "D", "1P,3E23.16"), sprintf("%8d%8d%8d\n", 1, 1, 4), ...
       "  1.0000000000000000E+05-2.5000000000000000E+00\n"];
  fid = fopen (f, "w"); fputs (fid, t); fclose (fid);
  assert (full (zorvane (f, "D", 0)), [1e5; -2.5]);
endfunction

## A column of more words than the word buffer holds, read by every function.
function check_long_column (dir)
  f = fullfile (dir, "long.txt.op4");
  values = zeros (1, 600001);
  values([1 600001]) = [2 -3];
  fid = fopen (f, "w");
  fprintf (fid, "1 600001 1 2 KLONG\n1 1 1200002\n");
  fprintf (fid, "%.1f %.1f %.1f %.1f\n", values);
  fprintf (fid, "\n2 1 1\n0.0\n");
  fclose (fid);
  A = zorvane (f, "KLONG", 0);
  assert ([find(A), nonzeros(A)], [1 2; 600001 -3]);
  info = zorvane_dir (f);
  assert ({info.name, info.format}, {"KLONG", "text"});
  M = zorvane_load (f);
  assert (isequal (M.matrix, A));
endfunction

function check_damage (dir)
  f = fullfile (dir, "damaged.txt.op4");
  head = sprintf ("%8d%8d%8d%8d%-8s%s\n", 2, 3, 1, 2, "KAA", "1P,3E23.16");
  cases = {[head, sprintf("%8d%8d%8d\n", 1, 1, 6), t1_values([1 2], 3, 23, 16)], "line 4: the file ends inside column 1";
           [head, t1_values([1 2], 3, 23, 16)], "line 2: expected a column line";
           [head, sprintf("%8d%8d%8d\n", 1, 1, 4), " 1.0000000000000000E+00 x.5\n"], "line 3: \"x.5\" is not a number";
           [head, sprintf("%8d%8d%8d\n", 1, 1, 2), t1_values([1 2], 3, 23, 16)], "line 3: more values";
           [head, sprintf("%8d%8d%8d\n", 1, 1, 2), repmat(" ", 1, 500), "\n"], "line 3: longer than any layout"};
  for k = 1:rows (cases)
    fid = fopen (f, "w"); fputs (fid, cases{k, 1}); fclose (fid);
    try
      A = zorvane (f, "KAA", 0);
      error ("damaged text file %d was read", k);
    catch err
      assert (err.identifier, "MATLAB:zorvane:BadFile");
      assert (! isempty (strfind (err.message, cases{k, 2})), err.message);
    end_try_catch
  endfor
endfunction
