%ZORVANE  Read a named matrix from an OUTPUT4 matrix file.
%   A = zorvane (FILE, NAME, SELECTOR) reads the matrix NAME from the
%   OUTPUT4 matrix file FILE and returns it as a sparse matrix: real, or
%   complex for complex matrices. Binary files of either byte order are
%   read, with strings counted either way the solvers write them, and
%   text (formatted) files of both known layouts: fixed-width fields with
%   the values' Fortran format in the header line, and free-width fields.
%
%   FILE      file name, a character row of at most 80 characters
%   NAME      matrix name, at most 8 characters; compared blank-filled and
%             case-sensitive; the first matrix of that name counts
%   SELECTOR  0 keeps the whole matrix; 1 keeps the upper triangle
%             (row <= column). Other values select by the rule of the
%             file's column encoding: dense records keep every row;
%             strings keep row <= column for 2 to 2^31 - 1, and below 0
%             every row (single-precision packed or value-count strings)
%             or row >= column (double precision, large-matrix strings).
%             Values at or beyond 2^31, NaN and -Inf count as below 0.
%             Dense records and single-precision strings drop values of
%             magnitude 1e-32 or less and NaN.
%
%   zorvane (FILE, 'XXXXXXXX', 0) prints the names of all matrices in
%   FILE, then raises "Matrix could not be found.".
%
%   Examples:
%     try, A = zorvane ('model.op4', 'XXXXXXXX', 0); catch, end  % lists the names
%     K = zorvane ('model.op4', 'KAA', 0);
%     U = zorvane ('model.op4', 'KAA', 1);
%
%   See also zorvane_dir, zorvane_load, zorvane_save, tessik.

%!function f = write_matrix_file (name, value_type, words)
%!  f = [tempname() ".op4"];
%!  rec = @(p) [typecast(int32(numel (p)), "uint8"), p, typecast(int32(numel (p)), "uint8")];
%!  field = [name, repmat(" ", 1, 8 - numel (name))];
%!  head = rec ([typecast(int32([1 2 1 value_type]), "uint8"), uint8(field)]);
%!  column = rec (typecast ([int32([1 1 numel(words)]), words], "uint8"));
%!  fid = fopen (f, "w");
%!  fwrite (fid, [head, column]);
%!  fclose (fid);
%!endfunction

%!test
%! f = write_matrix_file ("KAA", 2, typecast ([1.5 -2], "int32"));
%! A = zorvane (f, "KAA", 0);
%! delete (f);
%! assert (issparse (A) && isequal (full (A), [1.5; -2]));

%!test
%! f = write_matrix_file ("Q", 4, typecast ([1 2 3 4], "int32"));
%! A = zorvane (f, "Q", 0);
%! delete (f);
%! assert (full (A), [1+2i; 3+4i]);

%!error id=MATLAB:zorvane:nInput zorvane ("model.op4", "KAA")
