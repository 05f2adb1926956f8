## bytes = op4_uniform_columns (columns, first_rows, heads, data)
## Column records for many columns at once, all of the same shape: record
## k is column columns(k) with first_row first_rows(k), string header words
## heads(:, k) (none for dense records) and data words data(:, k).
function bytes = op4_uniform_columns (columns, first_rows, heads, data)
  count = numel (columns);
  if (isempty (heads))
    heads = zeros (0, count, "uint32");
  endif
  word_count = rows (heads) + rows (data);
  payload = 4 * (3 + word_count);
  words = [repmat(uint32(payload), 1, count);
           typecast(int32(columns(:)'), "uint32");
           typecast(int32(first_rows(:)'), "uint32");
           repmat(uint32(word_count), 1, count);
           uint32(heads); uint32(data);
           repmat(uint32(payload), 1, count)];
  bytes = op4_bytes (words(:)');
endfunction
