%ZORVANE_LOAD  Read every matrix of an OUTPUT4 matrix file at once.
%   M = zorvane_load (FILE) returns a struct array with one element per
%   matrix in FILE, in file order, repeated names kept, with the fields
%     name    the matrix name, trailing blanks removed
%     form    the header's form
%     type    the header's value type
%     matrix  the sparse matrix, exactly as zorvane (FILE, name, SELECTOR)
%             returns it
%   M = zorvane_load (FILE, NAMES) loads only the matrices named by NAMES,
%   a character row or a cell array of them; a name not in the file is
%   the error MATLAB:zorvane_load:NotFound.
%   M = zorvane_load (FILE, NAMES, SELECTOR) applies SELECTOR (default 0)
%   as zorvane does; NAMES given as {} or [] loads every matrix.
%   The file is read once. The first matrix of each name is decoded as
%   zorvane decodes it; a damaged matrix gives zorvane's error for it,
%   with the matrix's name in front of the message. A file that is no
%   matrix file is the error MATLAB:zorvane_load:NotMatrixFile.
%
%   Example:
%     M = zorvane_load ('model.op4', {'KAA', 'MAA'});
%     K = M(strcmp ({M.name}, 'KAA')).matrix;
%
%   See also zorvane_dir, zorvane, zorvane_save.

%!test
%! f = [tempname() ".op4"];
%! rec = @(p) [typecast(int32(numel (p)), "uint8"), p, typecast(int32(numel (p)), "uint8")];
%! matrix = @(name) [rec([typecast(int32([1 1 1 1]), "uint8"), uint8([name "     "])]), ...
%!                   rec(typecast (int32 ([1 1 1 1073741824]), "uint8"))];
%! fid = fopen (f, "w");
%! fwrite (fid, [matrix("KAA"), matrix("MAA"), matrix("KAA")]);
%! fclose (fid);
%! M = zorvane_load (f, "KAA");
%! delete (f);
%! assert ({M.name}, {"KAA", "KAA"});
%! assert (full (M(2).matrix), 2);

%!error id=MATLAB:zorvane_load:nInput zorvane_load ()
