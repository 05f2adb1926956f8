## bytes = op4_bytes (words): 32-bit words as file bytes in the writers'
## byte order (see op4_big_endian).
function bytes = op4_bytes (words)
  if (op4_big_endian ())
    words = swapbytes (words);
  endif
  bytes = typecast (words(:)', "uint8");
endfunction
