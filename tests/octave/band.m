## Banded symmetric matrices with half bandwidth 3, written column by column.
function [rows, cols, vals] = band (n)
  [cols, offsets] = meshgrid (1:n, -3:3);
  rows = cols + offsets;
  keep = rows >= 1 & rows <= n;
  rows = rows(keep)'; cols = cols(keep)';
  vals = 1 ./ (rows + cols) + 10 * (rows == cols);
endfunction
