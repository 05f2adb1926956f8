## zorvane_dir and zorvane_load on files of several matrices: every
## dialect, a repeated name, a column record holding printable bytes, a
## matrix lacking its end record; each loaded matrix equals zorvane's.
function test_whole_files ()
  dir = tempname ();
  mkdir (dir);
  cleanup = onCleanup (@() confirm_recursive_rmdir (false) || rmdir (dir, "s"));
  f = fullfile (dir, "many.op4");
  vc = @(n, r) uint32 (n * 65536 + r);
  ## Words 2 and 3 of KAA's second record read as the name "TEXT1234".
  printable = [op4_words(1.5, "double")(1), typecast(uint8("TEXT1234"), "uint32"), op4_words(2, "double")(2)];
  bytes = [op4_header(2, 4, 6, 2, "KAA"), op4_column(1, 1, op4_words([1 2], "double")), ...
           op4_column(2, 1, printable), op4_column(3, 1, []), ...
           op4_header(2, 3, 1, 3, "QHH"), op4_column(1, 1, op4_words(single([1+1i 2i]), "single")), ...
           op4_column(3, 1, []), ...
           op4_header(3, 9, 6, 2, "KVC"), op4_column(2, 0, [vc(1, 5), op4_words(7, "double")]), ...
           op4_column(4, 1, op4_words(0, "single")), ...
           op4_header(2, -70000, 1, 1, "KAA"), op4_column(2, 0, [uint32([3 1]), op4_words([4 5], "single")]), ...
           op4_header(1, 2, 1, 2, "LAST"), op4_column(1, 2, op4_words(9, "double")), op4_column(2, 1, [])];
  op4_write (f, bytes);
  info = zorvane_dir (f);
  assert (size (info), [5 1]);
  assert ({info.name}, {"KAA", "QHH", "KVC", "KAA", "LAST"});
  assert ([info.rows; info.columns; info.type], [4 3 9 70000 2; 2 2 3 2 1; 2 3 2 1 2]);
  assert ({info.precision}, {"double", "single", "double", "single", "double"});
  assert ([info.complex], [false true false false false]);
  assert ({info.encoding}, {"dense", "dense", "value-count", "large", "dense"});
  assert (all (strcmp ({info.byte_order}, "little") & strcmp ({info.format}, "binary")));

  M = zorvane_load (f);
  assert ({M.name}, {"KAA", "QHH", "KVC", "KAA", "LAST"});
  assert ([M.form; M.type], [6 1 6 1 1; 2 3 2 1 2]);
  assert (isequal (M(1).matrix, zorvane (f, "KAA", 0)));
  assert (isequal (M(2).matrix, zorvane (f, "QHH", 0)) && iscomplex (M(2).matrix));
  assert (isequal (M(3).matrix, zorvane (f, "KVC", 0)));
  assert (full (M(4).matrix(1:2, 2)), [4; 5]);
  assert (isequal (M(5).matrix, zorvane (f, "LAST", 0)));
  check_market_files (f, M, dir);
  ## The same file big-endian: the same matrices.
  op4_big_endian (true);
  unwind_protect
    printable = [op4_words(1.5, "double")(1), typecast(uint8("TEXT1234"), "uint32"), op4_words(2, "double")(2)];
    op4_write (f, [op4_header(2, 4, 6, 2, "KAA"), op4_column(1, 1, op4_words([1 2], "double")), ...
                   op4_column(2, 1, printable), op4_column(3, 1, [])]);
  unwind_protect_cleanup
    op4_big_endian (false);
  end_unwind_protect
  assert ({zorvane_dir(f).byte_order}, {"big"});
  assert (isequal (zorvane_load (f).matrix, zorvane (f, "KAA", 0)));
  op4_write (f, bytes);
  U = zorvane_load (f, {"KAA", "LAST"}, 1);
  assert ({U.name}, {"KAA", "KAA", "LAST"});
  assert (isequal (U(1).matrix, zorvane (f, "KAA", 1)));
  assert (numel (zorvane_load (f, "QHH")), 1);
  expect_error (@() zorvane_load (f, {"KAA", "NONE"}), "MATLAB:zorvane_load:NotFound", "NONE");
  expect_error (@() zorvane_dir (fullfile (dir, "none.op4")), "", "Could not open file");

  ## A damaged matrix names itself; an empty file has no matrices.
  op4_write (f, [op4_header(1, 2, 1, 2, "GOOD"), op4_column(1, 1, op4_words(1, "double")), ...
                 op4_header(1, 2, 1, 2, "BAD"), op4_column(1, 1, op4_words(1, "double")(1))]);
  expect_error (@() zorvane_load (f), "MATLAB:zorvane:BadFile", "BAD: Damaged file");
  op4_write (f, []);
  assert (size (zorvane_dir (f)), [0 1]);
  assert (isfield (zorvane_dir (f), "encoding"));
  printf ("test_whole_files: all checks passed\n");
  next_header_short (dir);
  paths (dir);
endfunction

## zorvane-mm writes every matrix as Matrix Market, repeated names numbered,
## each reading back bit for bit.
function check_market_files (f, M, folder)
  out = fullfile (folder, "mm");
  mkdir (out);
  [status, text] = system (sprintf ("./zorvane-mm '%s' -o '%s'", f, out));
  assert (status, 0, text);
  files = {"KAA.mtx", "QHH.mtx", "KVC.mtx", "KAA.2.mtx", "LAST.mtx"};
  listing = readdir (out);
  assert (sort (listing(3:end))', sort (files));
  for k = 1:numel (files)
    fid = fopen (fullfile (out, files{k}));
    kind = fgetl (fid);
    sizes = fscanf (fid, "%d", 3);
    entries = fscanf (fid, "%f", [3 + iscomplex(M(k).matrix), Inf]);
    fclose (fid);
    assert (! isempty (strfind (kind, "complex general")) == iscomplex (M(k).matrix));
    values = entries(3, :);
    if (iscomplex (M(k).matrix))
      values = complex (values, entries(4, :));
    endif
    [i, j, v] = find (M(k).matrix);
    assert ([sizes(1:2)', sizes(3)], [size(M(k).matrix), nnz(M(k).matrix)]);
    assert ([entries(1, :)', entries(2, :)'], [i, j]);
    assert (num2hex (real (values(:))), num2hex (real (v)));
    assert (num2hex (imag (values(:))), num2hex (imag (v)));
  endfor
  [status, text] = system (sprintf ("./zorvane-mm '%s'", f));
  assert (status, 0);
  assert (numel (strfind (text, "binary")), 5);
endfunction

function expect_error (call, identifier, text)
  try
    call ();
  catch err
    assert (err.identifier, identifier);
    assert (! isempty (strfind (err.message, text)), err.message);
    return;
  end_try_catch
  error ("expected an error containing '%s'", text);
endfunction

## A matrix without end record, followed by a header whose record holds
## fewer words than its form (read as a word count): that header ends the
## matrix, for zorvane and the whole-file readers alike.
function next_header_short (dir)
  f = fullfile (dir, "short.op4");
  op4_write (f, [op4_header(4, 4, 1, 2, "A"), op4_column(1, 1, op4_words([1 2], "double")), ...
                 op4_header(5, 5, 6, 2, "B"), op4_column(1, 1, op4_words(3, "double")), op4_column(6, 1, [])]);
  assert (full (zorvane (f, "A", 0)), [1 0 0 0; 2 0 0 0; 0 0 0 0; 0 0 0 0]);
  M = zorvane_load (f);
  assert ({M.name}, {"A", "B"});
  assert (isequal (M(1).matrix, zorvane (f, "A", 0)));
endfunction

## Paths of any length for the whole-file functions; "~" is the home folder everywhere.
function paths (dir)
  long = fullfile (dir, repmat ("p", 1, 90), "x.op4");
  mkdir (fileparts (long));
  zorvane_save (long, "A", 1);
  assert (zorvane_dir (long).name, "A");
  assert (zorvane_load (long).matrix, sparse (1));
  home = getenv ("HOME");
  restore = onCleanup (@() setenv ("HOME", home));
  setenv ("HOME", dir);
  zorvane_save ("~/home.op4", "H", 2);
  assert (exist (fullfile (dir, "home.op4"), "file") == 2);
  assert (full (zorvane ("~/home.op4", "H", 0)), 2);
  assert (zorvane_dir ("~/home.op4").name, "H");
  assert (zorvane_load ("~/home.op4").matrix, sparse (2));
endfunction
