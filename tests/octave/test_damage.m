## Damaged and unusual files: the whole-file readers agree on every file
## and give zorvane's result where zorvane finds the matrix; text damage
## names its line and quotes nothing but it; touching T1 integer fields;
## a damaged header costs memory in proportion to the file.
function test_damage ()
  dir = tempname ();
  mkdir (dir);
  cleanup = onCleanup (@() confirm_recursive_rmdir (false) || rmdir (dir, "s"));
  f = fullfile (dir, "d.op4");
  agreement (f, dir);
  text_damage (f);
  touching_fields (f);
  printf ("test_damage: all checks passed\n");
endfunction

function agreement (f, dir)
  ## The last end record cut short: every reader has the matrix.
  good = [op4_header(2, 3, 1, 2, "KAA"), op4_column(1, 1, op4_words([1 2], "double")), ...
          op4_column(2, 2, op4_words(3, "double"))];
  op4_write (f, [good, op4_column(3, 1, op4_words(0, "double"))(1:end-6)]);
  agree (f, dir, {"KAA"});
  assert (isequal (zorvane_load (f).matrix, zorvane (f, "KAA", 0)));
  ## A text end record without its value line.
  text = sprintf ("%8d%8d%8d%8dKAA     1P,3E23.16\n%8d%8d%8d\n%23.16E\n%8d%8d%8d\n", 1, 2, 1, 2, 1, 1, 2, 4, 2, 1, 2);
  op4_write (f, uint8 (text));
  agree (f, dir, {"KAA"});
  ## A column count changed from 2 to 65537, another matrix behind it:
  ## zorvane_load raises zorvane's error, the scan still finds both.
  op4_write (f, [op4_header(65537, 3, 1, 2, "KAA"), good(33:end), op4_column(3, 1, op4_words(0, "double")), ...
                 op4_header(1, 1, 1, 2, "MAA"), op4_column(1, 1, op4_words(7, "double")), ...
                 op4_column(2, 1, op4_words(0, "double"))]);
  assert ({zorvane_dir(f).name}, {"KAA", "MAA"});
  zerr = error_of (@() size (zorvane (f, "KAA", 0)));
  lerr = error_of (@() size (zorvane_load (f)));
  assert (zerr.identifier, "MATLAB:zorvane:BadFile");
  assert (lerr.identifier, zerr.identifier);
  assert (strrep (lerr.message, "zorvane_load: KAA: ", ""), strrep (zerr.message, "zorvane: ", ""));
  assert (full (zorvane_load (f, "MAA").matrix), 7);
  ## Every matrix with a selector: names given as {} or [].
  op4_write (f, [op4_header(2, 2, 1, 2, "KAA"), op4_column(1, 1, op4_words([1 2], "double")), ...
                 op4_column(2, 1, op4_words([3 4], "double")), op4_column(3, 1, op4_words(0, "double"))]);
  assert (full (zorvane_load (f, {}, 1).matrix), [1 3; 0 4]);
  assert (full (zorvane_load (f, [], 1).matrix), [1 3; 0 4]);
  assert (full (zorvane_load (f, {}).matrix), [1 3; 2 4]);
endfunction

## zorvane_dir, zorvane_load and zorvane-mm (list and -o) name the same matrices.
function agree (f, dir, names)
  assert ({zorvane_dir(f).name}, names);
  assert ({zorvane_load(f).name}, names);
  [status, text] = system (sprintf ("./zorvane-mm '%s' 2>&1", f));
  assert (status, 0, text);
  assert (numel (strsplit (strtrim (text), "\n")) - 1, numel (names), text);
  out = fullfile (dir, "agree");
  [status, text] = system (sprintf ("./zorvane-mm '%s' -o '%s' 2>&1", f, out));
  assert (status, 0, text);
  assert (numel (readdir (out)) - 2, numel (names));
  confirm_recursive_rmdir (false);
  rmdir (out, "s");
endfunction

function text_damage (f)
  ## A packed string header replaced by a value line: the message names
  ## that line (line 3), not the column's line.
  text = sprintf ("%8d%8d%8d%8dKAA     1P,3E23.16\n%8d%8d%8d\n%23.16E%23.16E\n%8d%8d%8d\n%23.16E\n", ...
                  1, 5, 1, 2, 1, 0, 3, 1.5, 2.5, 2, 1, 2, 0);
  op4_write (f, uint8 (text));
  err = error_of (@() size (zorvane (f, "KAA", 0)));
  assert (err.identifier, "MATLAB:zorvane:BadFile");
  assert (! isempty (strfind (err.message, "line 3:")), err.message);
  ## A damaged line is quoted alone: neither the lines after it nor bytes of
  ## a file read before.
  secret = fullfile (fileparts (f), "secret.op4");
  op4_write (secret, uint8 (sprintf ("%8d%8d%8d%8dS       1P,3E23.16\n%s\n", 1, 1, 1, 2, 1, repmat ("SECRET", 1, 60))));
  try, A = zorvane (secret, "S", 0); catch, end
  op4_write (f, uint8 (sprintf ("%8d%8d%8d%8dKAA     1P,3E23.16\nx 1 1\n 1.0\nSECRET-LINE\n", 1, 1, 1, 2)));
  err = error_of (@() size (zorvane (f, "KAA", 0)));
  assert (! isempty (strfind (err.message, "found \"x 1 1\"")), err.message);
  assert (isempty (strfind (err.message, "SECRET")), err.message);
endfunction

## From 10^7 rows on, T1's 8-character integer fields touch.
function touching_fields (f)
  text = sprintf ("%8d%8d%8d%8dKAA     1P,3E23.16\n%8d%8d%8d\n%8d%8d\n%23.16E%23.16E\n%8d%8d%8d\n%23.16E\n", ...
                  10, 12345678, 1, 2, 1, 0, 6, 5, 12345675, 2.5, -1, 11, 1, 2, 0);
  op4_write (f, uint8 (text));
  assert (! isempty (strfind (text, "       512345675")));
  A = zorvane (f, "KAA", 0);
  assert (size (A), [12345678 10]);
  assert (nonzeros (A), [2.5; -1]);
  assert (find (A(:, 1)), [12345675; 12345676]);
  assert (zorvane_dir (f).rows, 12345678);
endfunction

function err = error_of (call)
  try
    call ();
  catch err
    return;
  end_try_catch
  error ("expected an error");
endfunction
