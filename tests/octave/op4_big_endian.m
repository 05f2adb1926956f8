## big = op4_big_endian (big): with an argument, makes the writers below
## write big-endian files from now on (true) or little-endian ones (false);
## without, tells which they write.
function big = op4_big_endian (big)
  persistent state = false;
  if (nargin == 1)
    state = logical (big);
  endif
  big = state;
endfunction
