%ZORVANE_DMIG_SAVE  Write matrices as DMIG or DMI bulk-data cards.
%   zorvane_dmig_save (FILE, NAME, A, ROWS, COLS) writes A as DMIG cards:
%   ROWS (m x 2) and COLS (n x 2) label A's rows and columns [point
%   component] (integers, points above 0, components 0-6, no label twice;
%   for form 6 ROWS equal to COLS).
%   zorvane_dmig_save (FILE, NAME, A) writes A as DMI cards.
%   zorvane_dmig_save (FILE, S) writes what zorvane_dmig_load returns (the
%   [0 0] labels of an IFO 9 matrix's null columns are not written; NCOL
%   is kept; its form, type and tout are kept unless an option says else).
%   Options (names and values in any case):
%     field      "large" (default; 16-column fields, one DMIG term per
%                continuation line, as punch files) or "small" (8 columns)
%     precision  "double" (default; TIN 2 or 4) or "single" (TIN 1 or 3:
%                the public-domain family takes only these)
%     tout       0-4 (default: TIN)
%     form       1, 2, 6 or 9 (DMIG) / 1, 2, 6 (DMI); default 6 when A
%                equals A.' and ROWS equal COLS, 1 when square with ROWS
%                equal COLS, else 2
%     triangle   form 6 DMIG: "upper" (default: each off-diagonal term once,
%                where the row label is below the column label) or "both"
%                (the whole matrix, as the public-domain family wants)
%     append     true adds the cards to an existing file, before its ENDDATA
%                line where it has one
%   NAME is 1-8 letters or digits, a letter first; it is written in upper
%   case. Every value has the most significant digits its field holds,
%   correctly rounded, or the shortest text that reads back as exactly the
%   value (single precision: as its binary32), so 0.1, 1.5 and -2.5e-40 come
%   back bit for bit. Double-precision values always carry a D exponent,
%   single-precision values never do. A row or column label that no
%   nonzero term names is written with a zero term, so that every label
%   reads back. Every card that continues carries a continuation mark
%   unique in the file (with append, across the whole file).
%
%   The public-domain solver refuses magnitudes outside about 1e-37 .. 1e38;
%   this writer writes them (the commercial family takes them). The file is
%   replaced only when complete (temporary file, sync, rename; an append
%   writes a new file holding the old one's lines and the new cards).
%   Errors: MATLAB:zorvane_dmig_save:nInput, nOutput, BadFileName, BadName,
%   BadMatrix, BadLabels, BadOption, Range (NaN, Inf, or beyond single
%   precision with precision single), CannotWrite, OutOfMemory.
%
%   Example:
%     K = [4 -1; -1 4];
%     dofs = [101 1; 101 2];
%     zorvane_dmig_save ('kaax.pch', 'KAAX', K, dofs, dofs);
%     M = zorvane_dmig_load ('kaax.pch');
%
%   See also zorvane_dmig_load, zorvane_dmig_dir, zorvane_save.

%!test
%! f = [tempname() ".pch"];
%! K = sparse ([4 -1 0; -1 4 0.1; 0 0.1 2.5]);
%! dofs = [10 1; 10 2; 11 3];
%! zorvane_dmig_save (f, "kaax", K, dofs, dofs);
%! M = zorvane_dmig_load (f);
%! delete (f);
%! assert ({M.name, M.card, M.form, M.type}, {"KAAX", "DMIG", 6, 2});
%! assert (isequal (M.matrix, K));
%! assert (M.rows, dofs);

%!error id=MATLAB:zorvane_dmig_save:BadName zorvane_dmig_save (tempname (), "1A", 1)
