## Times zorvane against the host's floor (a plug-in of the same kind,
## native or MEX, that only creates and fills a sparse output of the same
## size and entries), a raw read of the
## file's bytes, and Octave's load of the same matrix from its own binary
## format and from a MAT file, in one Octave process on the same matrices.
## Peak memory is measured in a fresh process per file. Needs bench_dir
## (set by scripts/bench), where the files are written.
## Run: scripts/bench zorvane
files = {"band_large.op4", "KLARGE"; "band_dense.op4", "KDENSE"; "band_packed.op4", "KPACKED";
         "many.op4", "KLAST"; "band_200k.op4", "K200K"};
if (! exist (fullfile (bench_dir, "band_table.txt"), "file"))
  system (sprintf ("'%s' '%s' > /dev/null", fullfile (bench_dir, "make_bench_files"), bench_dir));
endif
rounds = 5;
printf ("%-16s %9s %8s %8s %8s %8s %8s %8s %8s %8s %7s %7s\n", "file", "nnz", "MB", "zorvane", "floor", "raw",
        "-binary", "-v7", "MB/s", "Mnz/s", "/floor", "/binary");
for k = 1:rows (files)
  path = fullfile (bench_dir, files{k, 1});
  name = files{k, 2};
  A = zorvane (path, name, 0);
  assert (nzmax (A), nnz (A));
  [m, n] = size (A);
  binary = [tempname() ".bin"];
  mat = [tempname() ".mat"];
  save ("-binary", binary, "A");
  save ("-v7", mat, "A");
  nonzeros = nnz (A);
  clear A;
  loaders = {@() zorvane (path, name, 0), @() floor_sparse (m, n, nonzeros), @() raw_read (path), ...
             @() getfield (load (binary), "A"), @() getfield (load (mat), "A")};
  best = inf (1, numel (loaders));
  for r = 1:rounds
    for w = circshift (1:numel (loaders), r)
      t = tic;
      B = loaders{w} ();
      best(w) = min (best(w), toc (t));
      clear B;
    endfor
  endfor
  delete (binary);
  delete (mat);
  info = dir (path);
  megabytes = info.bytes / 1e6;
  printf ("%-16s %9d %8.1f %8.3f %8.3f %8.3f %8.3f %8.3f %8.0f %8.1f %7.2f %7.2f\n", files{k, 1}, nonzeros,
          megabytes, best, megabytes / best(1), nonzeros / best(1) / 1e6, best(1) / best(2), best(1) / best(4));
endfor

## Peak resident memory of a fresh process while it loads each matrix,
## against the returned matrix's own size; the baseline is taken with the
## plug-in already loaded. Octave copies a MEX plug-in's result when the
## call returns (about 2 is its floor); a native plug-in's it takes over
## as built (about 1).
printf ("\n%-16s %12s %12s %12s %8s\n", "file", "matrix MB", "baseline MB", "peak MB", "ratio");
for k = 1:rows (files)
  path = fullfile (bench_dir, files{k, 1});
  script = sprintf (["addpath ('%s'); try, B = zorvane ('', 'X', 0); catch, end; ", ...
                     "s = fileread ('/proc/self/status'); ", ...
                     "base = sscanf (s(strfind (s, 'VmRSS:') + 6:end), '%%d'); ", ...
                     "A = zorvane ('%s', '%s', 0); s = fileread ('/proc/self/status'); ", ...
                     "peak = sscanf (s(strfind (s, 'VmHWM:') + 6:end), '%%d'); ", ...
                     "bytes = 16 * nnz (A) + 8 * (columns (A) + 1); ", ...
                     "printf ('%%12.1f %%12.1f %%12.1f %%8.2f', bytes / 1e6, base / 1e3, peak / 1e3, ", ...
                     "(peak * 1e3 - base * 1e3) / bytes);"], fileparts (which ("zorvane")), path, files{k, 2});
  [status, out] = system (sprintf ("octave-cli --norc --no-history --quiet --eval \"%s\" 2>/dev/null", script));
  printf ("%-16s %s\n", files{k, 1}, strtrim (out));
endfor

## The dialects against the little-endian real file of the same matrix,
## timed in the same rounds: big-endian order and complex values (value
## type 4, twice the bytes).
dialects = {"band_large.op4", "band_large_be.op4", "band_complex.op4"};
best = inf (1, numel (dialects));
for r = 1:rounds
  for w = circshift (1:numel (dialects), r)
    t = tic;
    B = zorvane (fullfile (bench_dir, dialects{w}), "KLARGE", 0);
    best(w) = min (best(w), toc (t));
    clear B;
  endfor
endfor
printf ("\n%-18s %8s %8s %10s\n", "file", "MB", "zorvane", "/little");
for w = 1:numel (dialects)
  info = dir (fullfile (bench_dir, dialects{w}));
  printf ("%-18s %8.1f %8.3f %10.2f\n", dialects{w}, info.bytes / 1e6, best(w), best(w) / best(1));
endfor

## Whole files: zorvane_load of the 20-matrix file against 20 zorvane
## calls, one per name; and zorvane-mm converting the 1000000-column file
## to Matrix Market (one run; the text is about 1.1 GB).
path = fullfile (bench_dir, "many.op4");
names = [arrayfun(@(k) sprintf ("M%d", k), 1:19, "UniformOutput", false), {"KLAST"}];
best = inf (1, 2);
for r = 1:rounds
  t = tic;
  M = zorvane_load (path);
  best(1) = min (best(1), toc (t));
  assert (numel (M), 20);
  clear M;
  t = tic;
  for k = 1:numel (names)
    B = zorvane (path, names{k}, 0);
  endfor
  best(2) = min (best(2), toc (t));
  clear B;
endfor
printf ("\n%-34s %8.3f s\n%-34s %8.3f s\n%-34s %8.2f\n", "zorvane_load, 20 matrices", best(1), ...
        "20 zorvane calls", best(2), "ratio load / calls", best(1) / best(2));
out = tempname ();
mkdir (out);
source = fullfile (bench_dir, "band_large.op4");
t = tic;
[status, text] = system (sprintf ("'%s' '%s' -o '%s'", fullfile (fileparts (which ("zorvane")), "zorvane-mm"), source, out));
seconds = toc (t);
assert (status, 0, text);
info = dir (source);
written = dir (fullfile (out, "KLARGE.mtx"));
printf ("%-34s %8.3f s, %6.1f MB/s of matrix file, %6.1f MB/s of text\n", "zorvane-mm band_large.op4", seconds, ...
        info.bytes / 1e6 / seconds, written.bytes / 1e6 / seconds);
confirm_recursive_rmdir (false);
rmdir (out, "s");

## Text: the dense band matrix as a T1 text file, against Octave's dlmread
## of the same numbers as a plain table (the fastest of Octave's own text
## readers here) and against zorvane on the binary file of the matrix.
text = fullfile (bench_dir, "band_text.op4");
table = fullfile (bench_dir, "band_table.txt");
binary = fullfile (bench_dir, "band_dense.op4");
T = zorvane (text, "KTEXT", 0);
assert (isequal (T, zorvane (binary, "KDENSE", 0)));
clear T;
best = inf (1, 3);
for r = 1:2
  t = tic; T = zorvane (text, "KTEXT", 0); best(1) = min (best(1), toc (t)); clear T;
  t = tic; D = dlmread (table); best(2) = min (best(2), toc (t)); clear D;
  t = tic; B = zorvane (binary, "KDENSE", 0); best(3) = min (best(3), toc (t)); clear B;
endfor
info = dir (text);
printf ("\n%-24s %8.1f MB %8.3f s %8.0f MB/s\n", "zorvane, T1 text", info.bytes / 1e6, best(1), info.bytes / 1e6 / best(1));
info = dir (table);
printf ("%-24s %8.1f MB %8.3f s %8.0f MB/s\n", "dlmread, plain table", info.bytes / 1e6, best(2), info.bytes / 1e6 / best(2));
printf ("%-24s %8s    %8.3f s\n", "zorvane, binary", "", best(3));
printf ("%-24s %8.2f (goal <= 0.2)\n%-24s %8.2f\n", "text / dlmread", best(1) / best(2), "text / binary", best(1) / best(3));
