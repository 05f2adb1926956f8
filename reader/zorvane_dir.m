%ZORVANE_DIR  List the matrices of an OUTPUT4 matrix file as data.
%   INFO = zorvane_dir (FILE) returns a struct array with one element per
%   matrix in FILE, in file order, with the fields
%     name        the matrix name, trailing blanks removed
%     rows        number of rows
%     columns     number of columns
%     form        the header's form
%     type        the header's value type (1 to 4)
%     precision   "single" or "double"
%     complex     true for value types 3 and 4
%     encoding    "dense", "packed", "large", "value-count", or "mixed"
%     byte_order  "little" or "big"; "none" for text files
%     format      "binary" or "text"
%   Matrices are found by the file's structure (header, column records,
%   end record), so data that looks like a name is never listed. An empty
%   file gives a 0-by-1 struct array; a file whose first record is neither
%   binary nor a text header is the error MATLAB:zorvane_dir:NotMatrixFile.
%
%   Example:
%     info = zorvane_dir ('model.op4');
%     for k = 1:numel (info)
%       fprintf ('%-8s %8d x %-8d %s\n', info(k).name, info(k).rows, info(k).columns, info(k).encoding);
%     end
%
%   See also zorvane_load, zorvane.

%!test
%! f = [tempname() ".op4"];
%! rec = @(p) [typecast(int32(numel (p)), "uint8"), p, typecast(int32(numel (p)), "uint8")];
%! head = rec ([typecast(int32([1 2 6 1]), "uint8"), uint8("MAA     ")]);
%! fid = fopen (f, "w");
%! fwrite (fid, [head, rec(typecast (int32 ([1 1 2 1065353216 1073741824]), "uint8"))]);
%! fclose (fid);
%! info = zorvane_dir (f);
%! delete (f);
%! assert ({info.name, info.rows, info.columns, info.precision, info.encoding}, {"MAA", 2, 1, "single", "dense"});

%!error id=MATLAB:zorvane_dir:nInput zorvane_dir ()
