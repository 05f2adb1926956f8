%ZORVANE_DMIG_DIR  List the DMIG and DMI matrices of a bulk-data or punch file.
%   S = zorvane_dmig_dir (FILE) tells what zorvane_dmig_load would return,
%   without building the matrices: a struct array with the fields name,
%   card, form, type, tout, polar, rows and cols (DMIG: the counts of row
%   and column labels; DMI: M and N), terms (the items on its column cards
%   as written: a THRU range counts each row, blank fields none) and line
%   (of its header card).
%
%   It raises the errors of zorvane_dmig_load (as MATLAB:zorvane_dmig_dir:...)
%   except those found only when terms are placed: a term given twice, two
%   sides of a symmetric matrix that differ.
%
%   Example:
%     S = zorvane_dmig_dir ('model.pch');
%     for k = 1:numel (S)
%       fprintf ('%-8s %-4s %6d x %-6d %d terms\n', S(k).name, S(k).card, S(k).rows, S(k).cols, S(k).terms);
%     end
%
%   See also zorvane_dmig_load, zorvane_dmig_save.

%!test
%! f = [tempname() ".dat"];
%! fid = fopen (f, "w");
%! fputs (fid, "BEGIN BULK\nDMI     QQQ            0       2       3       3               4       2\n");
%! fputs (fid, "DMI     QQQ            1       1     1.0     2.0     3.0     4.0       3+1\n");
%! fputs (fid, "+1           5.0     6.0\nENDDATA\n");
%! fclose (fid);
%! S = zorvane_dmig_dir (f);
%! delete (f);
%! assert ({S.name, S.card}, {"QQQ", "DMI"});
%! assert ([S.rows, S.cols, S.terms, S.line], [4 2 3 2]);
