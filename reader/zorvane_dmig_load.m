%ZORVANE_DMIG_LOAD  Read the DMIG and DMI matrices of a bulk-data or punch file.
%   M = zorvane_dmig_load (FILE) returns every DMIG and DMI matrix of FILE
%   (a punch file written with PARAM,EXTOUT,DMIGPCH, or bulk data) as a
%   struct array in the order of their header cards, with the fields
%     name    the matrix name, upper case
%     card    "DMIG" or "DMI"
%     form    IFO (DMIG) or FORM (DMI)
%     type    TIN: 1 real single, 2 real double, 3 complex single, 4 complex double
%     tout    TOUT, 0 where blank
%     polar   1 where DMIG terms were given as magnitude and phase (degrees)
%     matrix  a sparse double matrix, complex for TIN 3 and 4; exact zeros
%             are not stored
%     rows, cols  DMIG: k x 2 arrays [point component], one row per row or
%             column of matrix, in ascending order; IFO 1 and 6 are square
%             on the union of all labels, IFO 2 has rows and columns of
%             their own, IFO 9 has NCOL columns, [0 0] for its null ones.
%             DMI: zeros (0, 2); the matrix is M x N from its header.
%   M = zorvane_dmig_load (FILE, NAMES) returns only the matrices named in the
%   cell array NAMES (any case).
%
%   IFO 6 mirrors a term given once (complex values are symmetric, not
%   Hermitian) and takes a term given on both sides where both agree. TIN 1
%   and 3 values are the single-precision numbers nearest their text.
%   Every term given, zero or not, contributes its labels. Fields: small
%   (8 columns), large (16 columns, name followed by *), free (commas);
%   comments after $; BEGIN BULK and ENDDATA are honoured; other cards are
%   passed over. A file without DMIG or DMI cards gives a 0 x 1 struct array.
%
%   Errors: MATLAB:zorvane_dmig_load:nInput, nOutput, NonString,
%   NonRowVector, BadNames, CannotOpen, NotFound (a name the file lacks),
%   OutOfMemory, and BadCard: "zorvane_dmig_load: line N: ..." naming what
%   is wrong (a real without decimal point, a field that is no number, a
%   point id below 1, a component outside 0-6, a DMI row or column outside
%   M x N, a term given twice or two sides that differ, IFO, TIN or FORM
%   out of range, blanks inside a field, more IFO 9 columns than NCOL, a
%   free-field line with too many fields, a line of more than 64 KB, a
%   column card before its header) and the line it stands on.
%
%   Example:
%     M = zorvane_dmig_load ('model.pch');
%     K = M(strcmp ({M.name}, 'KAAX'));
%     dofs = K.rows;    % [grid component] of each row of K.matrix
%
%   See also zorvane_dmig_dir, zorvane_dmig_save, zorvane_load.

%!test
%! f = [tempname() ".pch"];
%! fid = fopen (f, "w");
%! fputs (fid, "DMIG    STIF           0       6       2       0\n");
%! fputs (fid, "DMIG    STIF          27       1             120       3    3.+5\n");
%! fputs (fid, "+            120       4  2.5+10\n");
%! fclose (fid);
%! M = zorvane_dmig_load (f);
%! delete (f);
%! assert (M.name, "STIF");
%! assert (M.rows, [27 1; 120 3; 120 4]);
%! assert (full (M.matrix), [0 3e5 2.5e10; 3e5 0 0; 2.5e10 0 0]);

%!error id=MATLAB:zorvane_dmig_load:CannotOpen zorvane_dmig_load ("/nonexistent/x.pch")
