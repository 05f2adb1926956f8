## What a user would write instead of tessik.
function [Y, S] = octave_expression (X)
  S = sum (X.^2);
  Y = X .* (1 ./ sqrt (S));
endfunction
