## bytes = op4_header (columns, rows, form, value_type, name)
function bytes = op4_header (columns, rows, form, value_type, name)
  field = repmat (" ", 1, 8);
  field(1:numel (name)) = name;
  bytes = op4_record ([op4_bytes(int32([columns, rows, form, value_type])), uint8(field)]);
endfunction
