## A = zorvane (FILE, NAME, SELECTOR)
##
## Read the matrix NAME from the OUTPUT4 matrix file FILE and return it as a
## real sparse matrix.
##
##   FILE      file name, a character row of at most 80 characters
##   NAME      matrix name, at most 8 characters; compared blank-filled and
##             case-sensitive
##   SELECTOR  0 keeps the whole matrix; 1 keeps the upper triangle
##             (row <= column); other values select by the rule of the
##             file's column encoding (see the README)
##
## zorvane (FILE, 'XXXXXXXX', 0) prints the names of all matrices in FILE,
## then raises "Matrix could not be found.".
##
## Examples:
##   K = zorvane ('model.op4', 'KAA', 0);
##   try, zorvane ('model.op4', 'XXXXXXXX', 0); catch, end
##
## See also: tessik.
