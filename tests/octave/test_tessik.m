## The built tessik in Octave, bit for bit against a plain loop.
function test_tessik ()
  check_edge_cases ();
  check_random_shapes ();
  check_guards ();
  assert (! isempty (strfind (evalc ("help tessik"), "[Y, S] = tessik (X)")));
  printf ("test_tessik: all checks passed\n");
endfunction

## One accumulator per column, rows in increasing order, r = 1/sqrt(s).
function [Y, S] = reference (X)
  [m, n] = size (X);
  Y = zeros (m, n);
  S = zeros (n, 1);
  for j = 1:n
    s = 0;
    for i = 1:m
      s = s + X(i, j) * X(i, j);
    endfor
    S(j) = s;
    r = 1 / sqrt (s);
    for i = 1:m
      Y(i, j) = X(i, j) * r;
    endfor
  endfor
endfunction

function assert_bits (actual, expected)
  assert (size (actual), size (expected));
  assert (num2hex (actual(:)), num2hex (expected(:)));
endfunction

## Bits of every number; a NaN literal stands for any NaN.
function assert_values (actual, expected)
  assert (size (actual), size (expected));
  assert (isnan (actual), isnan (expected));
  known = ! isnan (expected);
  assert (num2hex (actual(known)), num2hex (expected(known)));
endfunction

function check_edge_cases ()
  [Y, S] = tessik ([3; 4]);
  assert_bits (Y, [0.6000000000000001; 0.8]);
  assert_bits (S, 25);
  [Y, S] = tessik (49);
  assert_bits (Y, 0.9999999999999999);
  assert_bits (S, 2401);
  [~, S] = tessik ([1e8; 1; 1; 1; 1]);
  assert_bits (S, 1e16);
  [Y, S] = tessik ([0 -0 1e-200 1e200 NaN Inf 2; 0 0 0 1 1 1 0]);
  assert_values (S, [0; 0; 0; Inf; NaN; Inf; 4]);
  assert_values (Y, [NaN NaN Inf 0 NaN NaN 1; NaN NaN NaN 0 NaN 0 0]);
  [Y, S] = tessik (zeros (3, 0));
  assert (size (Y), [3 0]); assert (size (S), [0 1]);
  [Y, S] = tessik (zeros (0, 4));
  assert (size (Y), [0 4]); assert_bits (S, zeros (4, 1));
  [Y, S] = tessik ([]);
  assert (size (Y), [0 0]); assert (size (S), [0 1]);
  [Y, S] = tessik ([3 + 1i; 4 - 7i]);
  assert (isreal (Y) && isreal (S));
  assert_bits (Y, [0.6000000000000001; 0.8]);
  Y = tessik ([3; 4]);
  assert_bits (Y, [0.6000000000000001; 0.8]);
endfunction

function check_random_shapes ()
  rand ("seed", 7); randn ("seed", 7);
  specials = [0, -0, NaN, Inf, -Inf, 4.9e-324, 1e-310, 1e-200, 1e200];
  shapes = [1 1; 1 37; 37 1; 3 7; 5 8; 9 9; 17 12; 64 13; 101 19; 300 11; 2 4; 1000 3];
  for k = 1:rows (shapes)
    X = randn (shapes(k, :)) .* 10 .^ randi ([-4 4], shapes(k, :));
    mask = rand (size (X)) < 0.1;
    X(mask) = specials(randi (numel (specials), nnz (mask), 1));
    [Y, S] = tessik (X);
    [Yr, Sr] = reference (X);
    assert_bits (Y, Yr);
    assert_bits (S, Sr);
  endfor
endfunction

function check_guards ()
  inputs = {single([1 2]), int32([1 2]), true, "ab", {1}, struct("a", 1), sparse([1 2])};
  for k = 1:numel (inputs)
    try
      [Y, S] = tessik (inputs{k});
      error ("input %d was accepted", k);
    catch err
      assert (err.identifier, "MATLAB:tessik:NonDouble");
    end_try_catch
  endfor
  try
    Y = tessik ();
    error ("a call without input was accepted");
  catch err
    assert (err.identifier, "MATLAB:tessik:nInput");
  end_try_catch
endfunction
