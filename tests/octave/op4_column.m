## bytes = op4_column (column, first_row, words): a column record whose data
## words are the uint32 vector words.
function bytes = op4_column (column, first_row, words)
  words = uint32 (words(:)');
  head = typecast (int32 ([column, first_row, numel(words)]), "uint8");
  bytes = op4_record ([head, typecast(words, "uint8")]);
endfunction
