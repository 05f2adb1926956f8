## bytes = band_file (n, name, encoding): the band matrix of n columns as
## a matrix file, in the "packed" or "large" string encoding.
function bytes = band_file (n, name, encoding)
  [rows, cols, vals] = band (n);
  if (strcmp (encoding, "large"))
    bytes = op4_header (n, -n, 1, 2, name);
  else
    bytes = op4_header (n, n, 1, 2, name);
  endif
  middle = 4:n-3;
  data = reshape (op4_words (vals(ismember (cols, middle)), "double"), 14, []);
  if (strcmp (encoding, "large"))
    heads = [repmat(15, 1, numel (middle)); middle - 3];
  else
    heads = 15 * 65536 + middle - 3;
  endif
  pieces = {};
  for c = [1:3, n-2:n]
    r = rows(cols == c);
    w = op4_words (vals(cols == c), "double");
    if (strcmp (encoding, "large"))
      pieces{end+1} = op4_column (c, 0, [uint32([numel(w)+1, r(1)]), w]);
    else
      pieces{end+1} = op4_column (c, 0, [uint32((numel (w) + 1) * 65536 + r(1)), w]);
    endif
  endfor
  bytes = [bytes, pieces{1:3}, op4_uniform_columns(middle, zeros (size (middle)), heads, data), pieces{4:6}];
endfunction
