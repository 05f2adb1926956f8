## The file's bytes read into memory: the cost of the I/O alone.
function bytes = raw_read (path)
  fid = fopen (path, "r");
  bytes = fread (fid, Inf, "uint8=>uint8");
  fclose (fid);
endfunction
