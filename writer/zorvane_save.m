%ZORVANE_SAVE  Write matrices to an OUTPUT4 matrix file.
%   zorvane_save (FILE, NAME, A) writes the matrix A under NAME.
%   zorvane_save (FILE, {NAME1, ...}, {A1, ...}) writes several, in that
%   order; repeated names are allowed.
%   zorvane_save (FILE, S) writes the struct array S with the fields name
%   and matrix, and optionally form and type: what zorvane_load returns.
%   zorvane_save (..., OPTION, VALUE, ...) with these options (names in
%   any case):
%     format      "binary" (default) or "text" (fixed-width fields, the
%                 values' Fortran format in the header line)
%     byte_order  "little" (default) or "big"; binary files only
%     encoding    "auto" (default: a full matrix dense, a sparse one packed
%                 strings, large-matrix strings above 65535 rows; where
%                 the reader would drop a value there, strings that keep
%                 every value: large-matrix strings in single precision),
%                 "dense", "packed", "large", or "value-count" (binary
%                 only). Dense records, and single-precision packed
%                 strings, lose values of magnitude 1e-32 or less and NaN
%                 on reading: forced, they read back without them.
%     precision   "double" or "single"; default the matrix's class, with a
%                 struct its type (1 and 3 single)
%     form        one of the forms the solvers know: 1-6, 8-11, 13, 15 (1,
%                 3-6 and 8 for square matrices only); default 2 when rows
%                 and columns differ, 6 when the matrix equals its
%                 transpose, else 1; with a struct its form
%     digits      text only: 1 to 20 digits after the point (default 16
%                 in double precision, 9 in single: values read back bit
%                 for bit)
%     append      true adds the matrices to an existing file, in that
%                 file's format and byte order (options that contradict
%                 them are an error: Mismatch); a missing file is created.
%                 The file is locked while it is appended to, so that
%                 appends at the same moment all land; a file that does
%                 not end where a record ends takes nothing (Mismatch)
%   NAME is 1 to 8 characters from ! to z, but not XXXXXXXX. A matrix is a
%   numeric or logical 2-D array, full or sparse, real or complex; integer
%   and logical values are written as doubles.
%
%   Which solver family reads what: the commercial family reads dense,
%   packed and large-matrix strings, binary in its machine's byte order or
%   text; the public-domain family reads dense and value-count strings,
%   little-endian binary only, at most 65535 rows and 5 matrices a file.
%
%   Reading back, zorvane and zorvane_load return the matrices written,
%   except what the reader drops by its own rules (dense records and
%   single-precision packed strings drop values of magnitude 1e-32 or less
%   and NaN; auto never chooses them then). Text carries the sign of zero
%   but not NaN's sign or payload: every NaN reads back as the same NaN.
%
%   FILE may start with ~ (the home folder). A link is followed to the
%   file it names (a dangling link: that file is made) and stays a link.
%   A file is written under a temporary name beside it and renamed when
%   complete, with the mode and group of the file it replaces; on any
%   error nothing is left behind and an existing file is unchanged (an
%   appended file is cut back to its old length). A file its user may not
%   write is not replaced (CannotWrite). Temporary files that a killed
%   writer left beside FILE are removed. A named pipe, a device (such as
%   /dev/null) or a socket is written in place, in order, without a
%   temporary file: there an error can leave part of the output behind.
%   Errors: MATLAB:zorvane_save:nInput, nOutput (an output was asked
%   for), BadFileName, BadName, BadMatrix, BadOption, Encoding, Range,
%   CannotWrite, Mismatch, OutOfMemory.
%
%   Example:
%     K = sparse ([4 -1 0; -1 4 -1; 0 -1 4]);
%     zorvane_save ('model.op4', 'KAA', K);
%     zorvane_save ('model.op4', 'MAA', speye (3), 'append', true);
%     M = zorvane_load ('model.op4');
%
%   See also zorvane_load, zorvane_dir, zorvane.

%!test
%! f = [tempname() ".op4"];
%! K = sparse ([4 -1 0; -1 4 -1; 0 -1 4]);
%! zorvane_save (f, {"KAA", "MAA"}, {K, single([1 2; 3 4])});
%! M = zorvane_load (f);
%! delete (f);
%! assert ({M.name}, {"KAA", "MAA"});
%! assert ([M.form; M.type], [6 1; 2 1]);
%! assert (isequal (M(1).matrix, K));
%! assert (full (M(2).matrix), [1 2; 3 4]);

%!test
%! f = [tempname() ".op4"];
%! zorvane_save (f, "A", [1.5 NaN; -Inf 1e300], "format", "text", "encoding", "dense");
%! fid = fopen (f); header = fgetl (fid); fclose (fid);
%! assert (header(end-9:end), "1P,3E23.16");
%! assert (full (zorvane (f, "A", 0)), [1.5 0; -Inf 1e300]);
%! delete (f);

%!error id=MATLAB:zorvane_save:BadName zorvane_save (tempname (), "XXXXXXXX", 1)
%!error id=MATLAB:zorvane_save:BadOption zorvane_save (tempname (), "A", 1, "format", "text", "byte_order", "big")
