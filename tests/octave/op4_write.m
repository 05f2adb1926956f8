## op4_write (path, bytes): writes the bytes of a matrix file.
function op4_write (path, bytes)
  fid = fopen (path, "w");
  assert (fid >= 0, "cannot write %s", path);
  fwrite (fid, bytes, "uint8");
  fclose (fid);
endfunction
