## Lists the matrices of demo_file, loads KAA and saves a picture of its
## sparsity pattern to the PNG file picture (both set by scripts/demo,
## which runs it from this folder).
printf ("Matrices in %s:\n", demo_file);
try
  unused = zorvane (demo_file, "XXXXXXXX", 0);
catch
end_try_catch
info = zorvane_dir (demo_file);
printf ("zorvane_dir: %s\n", strjoin (arrayfun (@(m) sprintf ("%s (%dx%d, %s)", m.name, m.rows, m.columns, ...
                                                             m.encoding), info, "UniformOutput", false)', ", "));
K = zorvane (demo_file, "KAA", 0);
printf ("KAA: %d x %d sparse, %d nonzeros, symmetric: %d\n", rows (K), columns (K), nnz (K), isequal (K, K'));
warning ("off", "all");
figure ("visible", "off");
spy (K);
title ("KAA");
print ("-dpng", picture);
printf ("Sparsity pattern of KAA written to %s\n", picture);
