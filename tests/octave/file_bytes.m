## bytes = file_bytes (path): the file's bytes as a uint8 row.
function bytes = file_bytes (path)
  fid = fopen (path, "r");
  assert (fid >= 0, "cannot read %s", path);
  bytes = fread (fid, Inf, "uint8=>uint8")';
  fclose (fid);
endfunction
