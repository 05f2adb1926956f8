## DMIG and DMI cards: every field layout, continuation, comment, tab, line
## end and case; every IFO, TIN and POLAR; DMI with THRU; labels' order;
## every error with its line; write and read back with every option; the
## digit rule.
function test_cards ()
  dir = tempname ();
  mkdir (dir);
  cleanup = onCleanup (@() confirm_recursive_rmdir (false) || rmdir (dir, "s"));
  f = fullfile (dir, "cards.dat");
  layouts (f);
  forms_and_types (f);
  dmi (f);
  errors (f);
  round_trips (f, dir);
  digits (f);
  command (f, dir);
  printf ("test_cards: all checks passed\n");
endfunction

function put (f, text)
  fid = fopen (f, "w"); fputs (fid, text); fclose (fid);
endfunction

## The same symmetric matrix in small, large, free and mixed fields.
function layouts (f)
  want = sparse ([0 3e5 2.5e10; 3e5 0 0; 2.5e10 0 0]);
  labels = [27 1; 120 3; 120 4];
  texts = {["DMIG    STIF           0       6       2       0\n" ...
            "DMIG    STIF          27       1             120       3    3.+5\n" ...
            "+            120       4  2.5+10\n"], ...
           ["$ a punch file\nDMIG*   STIF                           0               6               2\n" ...
            "*                      0\n" ...
            "DMIG*   STIF                          27               1\n" ...
            "*                    120               3          3.0D+5\n" ...
            "*                    120               4         2.5D+10\n"], ...
           ["begin  bulk\r\nparam,post,-1\r\ndmig,stif,0,6,2,0\r\ndmig,stif,27,1,,120,3,300000.,\r\n" ...
            "+,120,4,2.5e10\r\nGRID    1               0.      0.      0.\r\n+       1.\r\nENDDATA\r\n" ...
            "DMIG    STIF          27       1              27       1      1.\n"], ...
           ["DMIG\tSTIF\t0\t6\t2\t0\t$ tabs\n" ...
            sprintf("%-72s+MARK\n", "DMIG    STIF          27       1             120       3    3.+5") ...
            "*MARK               120               4        2.5+10\n"]};
  for k = 1:numel (texts)
    put (f, texts{k});
    M = zorvane_dmig_load (f);
    assert (numel (M) == 1, "layout %d", k);
    assert (isequal (M.matrix, want), "layout %d", k);
    assert (M.rows, labels);
    assert (M.cols, labels);
    S = zorvane_dmig_dir (f);
    assert (isequal ([S.terms S.rows S.cols], [2 3 3]), "layout %d", k);
  endfor
  assert (zorvane_dmig_dir (f).line, 1);
  put (f, "GRID    1\n");
  assert (size (zorvane_dmig_load (f)), [0 1]);
endfunction

## IFO 1, 2, 9 with their labels; TIN 1-4; POLAR; a term on both sides.
function forms_and_types (f)
  put (f, ["DMIG    A              0       2       1\n" ...
           "DMIG    A              5       2               7       1     1.5               3       0      0.\n" ...
           "DMIG    A              2       1               3       0     2.1\n" ...
           "DMIG    B              0       9       2                               4\n" ...
           "DMIG    B             20       1              10       1     -1.\n" ...
           "DMIG    B             10       1              10       1      2.\n" ...
           "DMIG    C              0       1       4       2       1\n" ...
           "DMIG    C              1       1               1       1      2.     90.\n" ...
           "DMIG    C              2       1               1       1      1.    180.\n" ...
           "DMIG    S              0       6       3\n" ...
           "DMIG    S              1       1               2       1      1.      2.\n" ...
           "DMIG    S              2       1               1       1      1.      2.\n"]);
  M = zorvane_dmig_load (f);
  assert ({M.name}, {"A", "B", "C", "S"});
  assert ([M.form; M.type; M.tout; M.polar], [2 9 1 6; 1 2 4 3; 0 0 2 0; 0 0 1 0]);
  assert (M(1).rows, [3 0; 7 1]);
  assert (M(1).cols, [2 1; 5 2]);
  assert (full (M(1).matrix), [double(single(2.1)) 0; 0 1.5]);
  assert (M(2).cols, [10 1; 20 1; 0 0; 0 0]);
  assert (full (M(2).matrix), [2 -1 0 0]);
  assert (full (M(3).matrix), [0 -1; 0 0] + [2i 0; 0 0]);
  assert (full (M(4).matrix), [0 1+2i; 1+2i 0]);
  assert (! isreal (M(4).matrix));
  S = zorvane_dmig_dir (f);
  assert ([S.rows; S.cols; S.terms; S.line], [2 1 2 2; 2 4 2 2; 2 2 2 2; 1 4 7 10]);
  assert (numel (zorvane_dmig_load (f, {"c", "A"})), 2);
endfunction

## The example of a complex single DMI, THRU, and a symmetric DMI given whole.
function dmi (f)
  put (f, ["DMI     QQQ            0       2       3       3               4       2\n" ...
           "DMI     QQQ            1       1     1.0     2.0     3.0     4.0       3+1\n" ...
           "+1           5.0     6.0\n" ...
           "DMI     QQQ            2       2     6.0     7.0       4     8.0     9.0\n" ...
           "DMI,R,0,2,2,0,,6,1\nDMI,R,1,2,3.14,THRU,5\n"]);
  M = zorvane_dmig_load (f);
  assert (full (M(1).matrix), [1+2i 0; 3+4i 6+7i; 5+6i 0; 0 8+9i]);
  assert (size (M(1).rows), [0 2]);
  assert (full (M(2).matrix), [0; 3.14; 3.14; 3.14; 3.14; 0]);
  assert (zorvane_dmig_dir (f)(2).terms, 4);
endfunction

## Every error with the line of its field.
function errors (f)
  head = "DMIG    K              0       1       2\n";
  cases = {[head "DMIG    K              1       1               1       1       1\n"], 2, "without decimal point"; ...
           [head "DMIG    K              1       1               1       1     1.x\n"], 2, "not a number"; ...
           [head "DMIG    K              1       1               0       1      1.\n"], 2, "point id 0"; ...
           [head "DMIG    K              1       1               1       7      1.\n"], 2, "component 7"; ...
           [head "DMIG    K              1       1               1       1      1.      2.\n"], 2, "imaginary part"; ...
           [head "DMIG    K              1       1               1       1      1.\n\nDMIG    K              1       1               1       1      2.\n"], 4, "given twice"; ...
           ["DMIG    K              0       6       2\nDMIG    K              1       1               2       1      1.\nDMIG    K              2       1               1       1      2.\n"], 3, "differs from its mirror"; ...
           ["DMIG    K              0       7       2\n"], 1, "IFO 7"; ...
           ["DMIG    K              0       1       5\n"], 1, "TIN 5"; ...
           ["DMI     K              0       7       1       0               2       2\n"], 1, "FORM 7"; ...
           ["DMI     K              0       2       1       0               2       2\nDMI     K              3       1      1.\n"], 2, "column 3 lies outside"; ...
           ["DMI     K              0       2       1       0               2       2\nDMI     K              1       2      1.      1.\n"], 2, "row 3 lies outside"; ...
           ["DMI     K              0       2       1       0               2       2\nDMI     K              1       1      1.\nDMI     K              1       1      2.\n"], 3, "given twice"; ...
           [head "DMIG,K,1,1,,1 2,1,1.\n"], 2, "blanks inside a free-field item"; ...
           [head "DMIG,K,1,1,,1,1,1.,,+M,5\n"], 2, "too many fields"; ...
           ["DMIG    B              0       9       2                               1\nDMIG    B              1       1               1       1      1.\n" ...
            "DMIG    B              2       1               1       1      1.\n"], 3, "more columns than its NCOL"; ...
           ["DMIG    K              1       1               1       1      1.\n"], 1, "before its DMIG header"; ...
           [head repmat("x", 1, 70000) "\n"], 2, "64 KB"};
  for k = 1:rows (cases)
    [text, line, what] = cases{k, :};
    put (f, text);
    message = expect_failure (@() zorvane_dmig_load (f), "MATLAB:zorvane_dmig_load:BadCard");
    assert (strncmp (message, sprintf ("zorvane_dmig_load: line %d: ", line), 23 + numel (num2str (line))), message);
    assert (! isempty (strfind (message, what)), message);
    placing = any (strcmp (what, {"given twice", "differs from its mirror"}));
    if (! placing)
      expect_failure (@() zorvane_dmig_dir (f), "MATLAB:zorvane_dmig_dir:BadCard");
    endif
  endfor
  put (f, head);
  expect_failure (@() zorvane_dmig_load (f, {"NOPE"}), "MATLAB:zorvane_dmig_load:NotFound");
  expect_failure (@() zorvane_dmig_load (f, "K"), "MATLAB:zorvane_dmig_load:BadNames");
  expect_failure (@() zorvane_dmig_load (f, {"1K"}), "MATLAB:zorvane_dmig_load:BadNames");
  expect_failure (@() zorvane_dmig_load (fullfile (f, "none")), "MATLAB:zorvane_dmig_load:CannotOpen");
  expect_failure (@() zorvane_dmig_load (1), "MATLAB:zorvane_dmig_load:NonString");
  expect_failure (@() zorvane_dmig_load (), "MATLAB:zorvane_dmig_load:nInput");
endfunction

## Written with each option and read back: values in the field's
## precision, labels in ascending order, forms, types, marks unique.
function round_trips (f, dir)
  rand ("seed", 3);
  randn ("seed", 3); # sprandsym's values: the same matrix every run
  K = sprandsym (30, 0.2) + speye (30);
  labels = [(101:130)' repmat([1; 2; 3], 10, 1)];
  for field = {"large", "small"}
    for precision = {"double", "single"}
      for triangle = {"upper", "both"}
        zorvane_dmig_save (f, "KAAX", K, labels, labels, "field", field{1}, "precision", precision{1}, ...
                           "triangle", triangle{1});
        M = zorvane_dmig_load (f);
        want = K;
        if (strcmp (precision{1}, "single"))
          want = sparse (double (single (full (K))));
        endif
        assert (M.type, 1 + strcmp (precision{1}, "double"));
        assert (M.form, 6);
        assert (M.rows, sortrows (labels));
        [~, order] = sortrows (labels);
        ## Large single fields carry every binary32 exactly; others their
        ## digits: 8 columns keep 4 of a small negative value (-1.087-3).
        tolerance = struct ("large_single", 0, "large_double", 1e-9, "small_single", 5e-4, "small_double", 1e-2);
        tolerance = tolerance.([field{1} "_" precision{1}]);
        assert (isequal (spones (M.matrix), spones (want(order, order))));
        assert (full (max (max (abs (M.matrix - want(order, order)) ./ max (abs (want(order, order)), 1e-300)))) <= tolerance, ...
                "%s %s %s", field{1}, precision{1}, triangle{1});
        marks = regexp (fileread (f), '\n[+*](\w+)', 'tokens');
        marks = [marks{:}];
        assert (numel (unique (marks)) == numel (marks), "marks are unique");
      endfor
    endfor
  endfor
  ## Rectangular and IFO 9 with null columns; complex; DMI; tout; append.
  A = sparse ([1 0 2; 0 0 0; 0 3i 0]);
  zorvane_dmig_save (f, "G", A, [5 1; 6 1; 7 0], [9 1; 8 1; 10 0], "tout", 3);
  M = zorvane_dmig_load (f);
  assert ([M.form M.type M.tout], [2 4 3]);
  assert (isequal (M.rows, [5 1; 6 1; 7 0]), "a row without terms keeps its label");
  assert (M.cols, [8 1; 9 1; 10 0]);
  assert (isequal (M.matrix, A(:, [2 1 3])));
  M.form = 9;
  M.cols(3, :) = [0 0];
  M.matrix(:, 3) = 0;
  zorvane_dmig_save (f, M);
  N = zorvane_dmig_load (f);
  assert ([N.form N.cols(3, :)], [9 0 0]);
  assert (isequal (N.matrix, M.matrix));
  zorvane_dmig_save (f, "D", [1 0; 0 -2.5; 3 0]);
  fid = fopen (f, "a"); fputs (fid, "ENDDATA\n$ after\n"); fclose (fid);
  zorvane_dmig_save (f, "E", [1 2; 2 1], "field", "small", "append", true);
  M = zorvane_dmig_load (f);
  assert ({M.name, M(1).card}, {"D", "E", "DMI"});
  assert ([M.form], [2 6]);
  assert (full (M(2).matrix), [1 2; 2 1]);
  text = fileread (f);
  assert (strfind (text, "ENDDATA") > strfind (text, "DMI     E"), "before ENDDATA");
  assert (! isempty (strfind (text, "$ after")));
  ## What cannot be written.
  expect_failure (@() zorvane_dmig_save (f, "K", [1 NaN]), "MATLAB:zorvane_dmig_save:Range");
  expect_failure (@() zorvane_dmig_save (f, "K", 1e39, "precision", "single"), "MATLAB:zorvane_dmig_save:Range");
  expect_failure (@() zorvane_dmig_save (f, "K", 1, [1 1], [1 7]), "MATLAB:zorvane_dmig_save:BadLabels");
  expect_failure (@() zorvane_dmig_save (f, "K", eye (2), [1 1; 1 1], [1 1; 2 1]), "MATLAB:zorvane_dmig_save:BadLabels");
  expect_failure (@() zorvane_dmig_save (f, "K", [1 2; 3 4], "form", 6), "MATLAB:zorvane_dmig_save:BadMatrix");
  expect_failure (@() zorvane_dmig_save (f, "K", 1, "field", "wide"), "MATLAB:zorvane_dmig_save:BadOption");
  expect_failure (@() zorvane_dmig_save (f, "K", 1, "form", 9), "MATLAB:zorvane_dmig_save:BadOption");
  expect_failure (@() zorvane_dmig_save (f, "TOOLONGNAME", 1), "MATLAB:zorvane_dmig_save:BadName");
  expect_failure (@() zorvane_dmig_save (f, "K", {1}), "MATLAB:zorvane_dmig_save:BadMatrix");
  expect_failure (@() zorvane_dmig_save (dir, "K", 1), "MATLAB:zorvane_dmig_save:CannotWrite");
endfunction

## Values whose shortest text fits their field come back bit for bit; the
## others carry the most digits the field holds.
function digits (f)
  short = [0.1 1.5 -2.5e-40 1e300 -0 123.25];
  zorvane_dmig_save (f, "V", short, "field", "small");
  assert (num2hex (nonzeros (zorvane_dmig_load (f).matrix)), num2hex (short(short != 0)'));
  zorvane_dmig_save (f, "V", single (short(1:3)), "field", "small", "precision", "single");
  assert (num2hex (full (zorvane_dmig_load (f).matrix)), num2hex (double (single (short(1:3)))));
  long = [pi -exp(1) 1/3 realmax];
  for c = {{"small", 8}, {"large", 16}}
    [field, width] = c{1}{:};
    zorvane_dmig_save (f, "V", long, "field", field);
    back = full (zorvane_dmig_load (f).matrix);
    ## As many significant digits as "d.dddD<exponent>" leaves room for, correctly rounded.
    for k = 1:3
      v = long(k);
      p = width - (v < 0) - 1 - numel (sprintf ("D%d", floor (log10 (abs (v)))));
      assert (strcmp (num2hex (back(k)), num2hex (str2double (sprintf ("%.*e", p - 1, v)))), "%s %d", field, k);
    endfor
    assert (back(4) <= realmax && back(4) > 0.99 * realmax, "toward zero where rounding up overflows");
    assert (isempty (regexp (fileread (f), '[0-9]E', 'once')), "doubles carry D");
  endfor
endfunction

## zorvane-mm lists a punch file's matrices and writes each as Matrix
## Market with its labels.
function command (f, dir)
  K = sparse ([2 -1; -1 2]);
  zorvane_dmig_save (f, "KAAX", K, [7 1; 7 2], [7 1; 7 2]);
  [status, text] = system (sprintf ("./zorvane-mm '%s'", f));
  assert (status, 0);
  assert (! isempty (regexp (text, "KAAX +DMIG +6 +2 +2 +2")), text);
  out = fullfile (dir, "mm");
  [status, text] = system (sprintf ("./zorvane-mm '%s' -o '%s'", f, out));
  assert (status, 0, text);
  assert (dlmread (fullfile (out, "KAAX.rows")), [7 1; 7 2]);
  assert (dlmread (fullfile (out, "KAAX.cols")), [7 1; 7 2]);
  fid = fopen (fullfile (out, "KAAX.mtx")); fgetl (fid); fgetl (fid); t = fscanf (fid, "%f", [3 Inf])'; fclose (fid);
  assert (isequal (sparse (t(:, 1), t(:, 2), t(:, 3)), K));
  put (f, "DMIG    K              0       7       2\n");
  [status, text] = system (sprintf ("./zorvane-mm '%s' 2>&1", f));
  assert (status == 1 && ! isempty (strfind (text, "MATLAB:zorvane_dmig_load:BadCard: line 1:")), text);
endfunction
