## bytes = op4_record (payload): one record, its payload between two
## copies of its length; the tests' own matrix file writer.
function bytes = op4_record (payload)
  payload = uint8 (payload(:)');
  n = op4_bytes (int32 (numel (payload)));
  bytes = [n, payload, n];
endfunction
