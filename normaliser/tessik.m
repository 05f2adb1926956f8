%TESSIK  Scale every column of a matrix to unit length, bit for bit.
%   [Y, S] = tessik (X) scales every column of the real double matrix X to
%   unit Euclidean length: Y(:, j) = X(:, j) * (1 / sqrt (S(j))), where
%   S(j) is the sum of the squares of column j taken in row order. S is a
%   column vector.
%
%   A zero column gives NaN; a column whose squares overflow gives zeros.
%   A complex X is read through its real part.
%
%   Example:
%     [Y, S] = tessik ([3 1; 4 0]);
%
%   See also zorvane.

%!test
%! [Y, S] = tessik ([3; 4]);
%! assert (S, 25);
%! assert (num2hex (Y), num2hex ([0.6000000000000001; 0.8]));

%!error id=MATLAB:tessik:nInput tessik ()
