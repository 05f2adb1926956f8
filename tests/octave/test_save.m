## zorvane_save: round trips over every encoding, byte order, precision
## and kind of value; bytes that a second save repeats; the text lines
## against gfortran's own 1PEw.d output; every error; a full disk.
function test_save ()
  dir = tempname ();
  mkdir (dir);
  cleanup = onCleanup (@() confirm_recursive_rmdir (false) || rmdir (dir, "s"));
  f = fullfile (dir, "out.op4");
  round_trips (f);
  same_bytes (f, dir);
  large_counts (f);
  against_fortran (f, dir);
  errors (f, dir);
  full_disk (dir);
  printf ("test_save: all checks passed\n");
endfunction

function round_trips (f)
  S = sprandn (70000, 6, 2e-4);
  S(100:40100, 2) = 1:40001;     # a run longer than one packed string
  S(:, 4) = 0;                    # an empty column
  S(5, 5) = NaN; S(6, 5) = Inf; S(7, 5) = -Inf;
  Z = S + 1i * sprandn (70000, 6, 1e-4);
  small = S(1:65535, :);
  for m = {S, Z, small, small(:, 1:3) * 1i, full(small(1:300, :))}
    A = m{1};
    encodings = {"auto", "dense", "large"};
    if (rows (A) <= 65535)
      encodings(end+1:end+2) = {"packed", "value-count"};
    endif
    for e = encodings
      for order = {"little", "big"}
        for precision = {"double", "single"}
          zorvane_save (f, "KAA", A, "encoding", e{1}, "byte_order", order{1}, "precision", precision{1});
          check_read (f, A, e{1}, precision{1});
        endfor
      endfor
      if (! strcmp (e{1}, "value-count"))
        zorvane_save (f, "KAA", A, "encoding", e{1}, "format", "text");
        check_read (f, A, e{1}, "double");
        zorvane_save (f, "KAA", A, "encoding", e{1}, "format", "text", "precision", "single");
        check_read (f, A, e{1}, "single");
      endif
    endfor
  endfor
  ## Classes: integers and logicals as doubles, single by default single.
  zorvane_save (f, {"I", "L", "S"}, {int16([1 -2; 3 4]), sparse(logical ([1 0; 0 1])), single(pi)});
  M = zorvane_load (f);
  assert ([M.type], [2 2 1]);
  assert ([M.form], [1 6 6]);
  assert (full (M(1).matrix), [1 -2; 3 4]);
  assert (full (M(2).matrix), eye (2));
  assert (full (M(3).matrix), double (single (pi)));
  ## Value-count strings whose words a packed reading would also tile: a
  ## split string reads back; a single such value is refused.
  tiny = typecast (uint32 ([65537 65537]), "double");
  zorvane_save (f, "KAA", sparse ([1; tiny; tiny]), "encoding", "value-count");
  check_read (f, sparse ([1; tiny; tiny]), "value-count", "double");
  expect_error (@() zorvane_save (f, "KAA", sparse (tiny), "encoding", "value-count"), "Encoding");
  assert (isequal (zorvane (f, "KAA", 0), sparse ([1; tiny; tiny])));
  assert (glob ([f "*"]), {f});
  ## What zorvane_load gives for a file without matrices saves as one.
  zorvane_save (f, zorvane_load (f)([]));
  assert (size (zorvane_dir (f)), [0 1]);
endfunction

## What the reader returns of A written with encoding e: the values in the
## file's precision, minus what its own rules drop (dense records and
## single strings drop magnitudes up to 1e-32 and NaN).
function check_read (f, A, e, precision)
  B = zorvane (f, "KAA", 0);
  want = sparse (A);
  if (strcmp (precision, "single"))
    want = sparse (double (single (full (want))));
  endif
  ## auto chooses an encoding that keeps every value.
  drops = ! strcmp (e, "auto") && (strcmp (e, "dense") || (strcmp (precision, "single") && ! strcmp (e, "large")));
  if (drops)
    want(isnan (want)) = 0;
    want = sparse (want);
  endif
  assert (isequal (size (B), size (A)));
  [i, j, v] = find (B);
  [wi, wj, wv] = find (want);
  assert (isequal ([i, j], [wi, wj]), "%s %s: entries differ", e, precision);
  assert (num2hex (real (v)), num2hex (real (wv)));
  assert (num2hex (imag (v)), num2hex (imag (wv)));
endfunction

## A second save of what zorvane_load returns writes the same bytes; an
## append the bytes of one call with all the matrices.
function same_bytes (f, dir)
  g = fullfile (dir, "again.op4");
  A = sprandn (300, 40, 0.1);
  C = A + 1i * sprandn (300, 40, 0.05);
  for e = {"dense", "packed", "large", "value-count"}
    for order = {"little", "big"}
      zorvane_save (f, {"A", "C", "A"}, {A, single(full (C)), A'}, "encoding", e{1}, "byte_order", order{1});
      zorvane_save (g, zorvane_load (f), "encoding", e{1}, "byte_order", order{1});
      assert (isequal (bytes_of (g), bytes_of (f)), "save of a load, %s", e{1});
      zorvane_save (g, "A", A, "encoding", e{1}, "byte_order", order{1});
      zorvane_save (g, {"C", "A"}, {single(full (C)), A'}, "encoding", e{1}, "append", true);
      assert (isequal (bytes_of (g), bytes_of (f)), "append, %s", e{1});
    endfor
  endfor
  zorvane_save (f, "A", A, "format", "text", "digits", 5);
  zorvane_save (g, zorvane_load (f), "format", "text", "digits", 5);
  assert (bytes_of (g), bytes_of (f));
  assert (strsplit (char (bytes_of (f)), "\n"){1}, sprintf ("%8d%8d%8d%8dA       1P,6E12.5", 40, 300, 2, 2));
endfunction

## 12345678 rows: the text file's integer fields take 16 characters.
function large_counts (f)
  A = sparse ([1 12345678], [1 2], [2.5 -1], 12345678, 2);
  zorvane_save (f, "BIG", A, "format", "text");
  lines = strsplit (char (bytes_of (f)), "\n");
  assert (lines{1}, sprintf ("%16d%16d%8d%8dBIG     1P,3E23.16|I16", 2, -12345678, 2, 2));
  assert (lines{2}, sprintf ("%16d%16d%16d", 1, 0, 4));
  assert (lines{3}, sprintf ("%16d%16d", 3, 1));
  assert (isequal (zorvane (f, "BIG", 0), A));
  zorvane_save (f, "BIG", A);
  assert (isequal (zorvane (f, "BIG", 0), A));
endfunction

## The text values line for line as gfortran writes them with 1P,kEw.d.
function against_fortran (f, dir)
  if (system ("command -v gfortran >/dev/null") != 0)
    error ("gfortran is needed for this test");
  endif
  source = fullfile (dir, "w.f90");
  fid = fopen (source, "w");
  fprintf (fid, "program w\n  implicit none\n  integer :: n, i, digits, prec\n  integer(8), allocatable :: b(:)\n");
  fprintf (fid, "  real(8), allocatable :: x(:)\n  character(len=40) :: form\n  read (*, *) prec, digits, n\n");
  fprintf (fid, "  allocate (b(n), x(n))\n  read (*, *) b\n  x = transfer (b, x, n)\n");
  fprintf (fid, "  write (form, '(A,I0,A,I0,A,I0,A)') '(1P,', max (1, 80 / (digits + 7)), 'E', digits + 7, '.', digits, ')'\n");
  fprintf (fid, "  if (prec == 1) then\n    write (*, form) (real (x(i), 4), i = 1, n)\n");
  fprintf (fid, "  else\n    write (*, form) (x(i), i = 1, n)\n  end if\nend program\n");
  fclose (fid);
  program = fullfile (dir, "w");
  assert (system (sprintf ("gfortran -o '%s' '%s'", program, source)), 0);
  rand ("seed", 7);
  bits = typecast (uint8 (floor (rand (8 * 3000, 1) * 256)), "double");
  values = [1; -1; 0.5; 1e100; 1e-100; -1e-300; 4.9e-324; realmax; realmin; 9.9999999999999995; 0.15; ...
            2.5; -0.125; 1e22; 123456789012345680; bits(isfinite (bits) & bits != 0)];
  for c = {{2, 16}, {2, 20}, {2, 3}, {2, 1}, {1, 9}, {1, 6}}
    [precision, digits] = c{1}{:};
    v = values;
    if (precision == 1)
      v = v(abs (v) < realmax ("single") & abs (v) > 1e-37);
      A = single (v);
      args = {"precision", "single"};
    else
      A = v;
      args = {};
    endif
    zorvane_save (f, "V", A, "format", "text", "digits", digits, "encoding", "dense", args{:});
    lines = strsplit (char (bytes_of (f)), "\n");
    ours = lines(3:end-3);                 # between the column line and the end record
    input = sprintf ("%d %d %d\n%s", precision, digits, numel (v), sprintf ("%d\n", typecast (double (A), "int64")));
    numbers = fullfile (dir, "numbers.txt");
    fid = fopen (numbers, "w"); fputs (fid, input); fclose (fid);
    [status, theirs] = system (sprintf ("'%s' < '%s'", program, numbers));
    assert (status, 0);
    theirs = strsplit (theirs, "\n")(1:end-1);
    assert (numel (ours), numel (theirs));
    for k = 1:numel (ours)
      assert (strcmp (ours{k}, theirs{k}), "precision %d digits %d line %d: '%s', gfortran '%s'", precision, ...
              digits, k, ours{k}, theirs{k});
    endfor
  endfor
endfunction

function errors (f, dir)
  expect_error (@() zorvane_save (f, "A"), "nInput");
  expect_error (@() zorvane_save (f, {"A", "B"}, {1}), "nInput");
  expect_error (@() zorvane_save (3, "A", 1), "BadFileName");
  expect_error (@() zorvane_save ([f "\0x"], "A", 1), "BadFileName");
  expect_error (@() zorvane_save (f, "A B", 1), "BadName");
  expect_error (@() zorvane_save (f, "NINECHARS", 1), "BadName");
  expect_error (@() zorvane_save (f, "A", {1}), "BadMatrix");
  expect_error (@() zorvane_save (f, "A", ones (2, 2, 2)), "BadMatrix");
  expect_error (@() zorvane_save (f, struct ("name", "A")), "BadMatrix");
  expect_error (@() zorvane_save (f, "A", 1, "colour", "red"), "BadOption");
  expect_error (@() zorvane_save (f, "A", 1, "format"), "BadOption");
  expect_error (@() zorvane_save (f, "A", 1, "format", "text", "encoding", "value-count"), "BadOption");
  expect_error (@() zorvane_save (f, "A", 1, "format", "text", "digits", 21), "BadOption");
  expect_error (@() zorvane_save (f, "A", 1, "form", 1.5), "BadOption");
  expect_error (@() zorvane_save (f, "A", sparse (70000, 1), "encoding", "packed"), "Encoding");
  expect_error (@() zorvane_save (f, "A", 1e39, "precision", "single"), "Range");
  expect_error (@() zorvane_save (fullfile (dir, "no", "such.op4"), "A", 1), "CannotWrite");
  zorvane_save (f, "A", 1, "format", "text");
  expect_error (@() zorvane_save (f, "B", 1, "format", "binary", "append", true), "Mismatch");
  readme = fullfile (dir, "readme.txt");
  fid = fopen (readme, "w"); fprintf (fid, "not a matrix file\n"); fclose (fid);
  expect_error (@() zorvane_save (readme, "B", 1, "append", true), "Mismatch");
  assert (char (bytes_of (readme)), "not a matrix file\n");
  ## Options in any case; an error leaves the existing file as it was.
  zorvane_save (f, "A", 2, "FORMAT", "Text", "Digits", 4);
  before = bytes_of (f);
  expect_error (@() zorvane_save (f, {"A", "B"}, {1, 1e39}, "precision", "single"), "Range");
  assert (bytes_of (f), before);
  assert (numel (dir_files (dir, "out.op4.")), 0, "a temporary file was left behind");
  ## A link stays a link; the file it names is written.
  link = fullfile (dir, "link.op4");
  symlink (f, link);
  zorvane_save (link, "L", 3);
  zorvane_save (link, "M", 4, "append", true);
  assert (S_ISLNK (lstat (link).mode));
  assert ({zorvane_dir(f).name}, {"L", "M"});
endfunction

## A disk that fills: nothing left behind, an existing file unchanged, an
## appended one cut back.
function full_disk (dir)
  mount = fullfile (dir, "small");
  mkdir (mount);
  if (system (sprintf ("mount -t tmpfs -o size=256k tmpfs '%s' 2>/dev/null", mount)) != 0)
    printf ("test_save: full disk not tried (no tmpfs mount here)\n");
    return;
  endif
  unwind_protect
    g = fullfile (mount, "m.op4");
    zorvane_save (g, "SMALL", speye (10));
    before = bytes_of (g);
    big = sprandn (2000, 2000, 0.05);
    expect_error (@() zorvane_save (g, "BIG", big), "CannotWrite");
    assert (bytes_of (g), before);
    expect_error (@() zorvane_save (g, "BIG", big, "append", true), "CannotWrite");
    assert (bytes_of (g), before);
    assert (dir_files (mount, ""), {"m.op4"});
  unwind_protect_cleanup
    system (sprintf ("umount '%s'", mount));
  end_unwind_protect
endfunction

function names = dir_files (dir, prefix)
  listing = readdir (dir);
  keep = ! strcmp (listing, ".") & ! strcmp (listing, "..");
  if (! isempty (prefix))
    keep &= strncmp (listing, prefix, numel (prefix));
  endif
  names = listing(keep)';
endfunction

function b = bytes_of (path)
  fid = fopen (path, "r");
  b = fread (fid, Inf, "uint8=>uint8")';
  fclose (fid);
endfunction

function expect_error (call, mnemonic)
  try
    call ();
  catch err
    assert (err.identifier, ["MATLAB:zorvane_save:" mnemonic], err.message);
    return;
  end_try_catch
  error ("expected the error %s", mnemonic);
endfunction
