## bytes = op4_column (column, first_row, words): a column record whose data
## words are the uint32 vector words.
function bytes = op4_column (column, first_row, words)
  words = uint32 (words(:)');
  head = op4_bytes (int32 ([column, first_row, numel(words)]));
  bytes = op4_record ([head, op4_bytes(words)]);
endfunction
