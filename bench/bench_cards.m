## Times the cards on a banded symmetric matrix of 3 million terms (each
## off-diagonal term once, one term a line, large field, as punch files):
## zorvane_dmig_load in bytes per second against zorvane reading a T1 text
## matrix file of the same matrix whole (both in this process), and
## against a line-by-line script (fgetl, str2double per line) timed on
## 100,000 lines and extrapolated; zorvane_dmig_save against fprintf
## writing the same lines; the peak memory of a fresh process reading it.
## Needs bench_dir (set by scripts/bench). Run: scripts/bench cards
n = 300000;
rand ("seed", 1);
U = spdiags (rand (n, 10) - 0.5, 0:9, n, n);
K = U + U' - diag (diag (U));
labels = [repelem((1:n/6)', 6), repmat((1:6)', n/6, 1)];
punch = fullfile (bench_dir, "band.pch");
t1 = fullfile (bench_dir, "band_t1.op4");
printed = fullfile (bench_dir, "band_printed.txt");
terms = nnz (U);

rounds = 3;
best = inf (1, 4);
for r = 1:rounds
  t = tic; zorvane_dmig_save (punch, "KAAX", K, labels, labels); best(1) = min (best(1), toc (t));
endfor
## The same lines through fprintf: mark, point, component, value, next mark.
[i, j, v] = find (U);
lines = [1:terms; labels(i, 1)'; labels(i, 2)'; v'; 2:terms + 1];
for r = 1:2
  t = tic;
  fid = fopen (printed, "w");
  fprintf (fid, "*%07d%16d%16d%16.9E                *%07d\n", lines);
  fclose (fid);
  best(2) = min (best(2), toc (t));
endfor
clear lines i j v;
zorvane_save (t1, "KAAX", K, "format", "text");
for r = 1:rounds
  t = tic; M = zorvane_dmig_load (punch); best(3) = min (best(3), toc (t));
  clear M;
  t = tic; A = zorvane (t1, "KAAX", 0); best(4) = min (best(4), toc (t));
  clear A;
endfor
## The line-by-line script on the first 100,000 term lines.
sample = 100000;
fid = fopen (punch);
t = tic;
count = 0;
while (count < sample)
  line = fgetl (fid);
  if (line(1) == "*" && numel (line) >= 56)
    point = str2double (line(9:24)); component = str2double (line(25:40)); value = str2double (strrep (line(41:56), "D", "E"));
    count++;
  endif
endwhile
script = toc (t);
fclose (fid);
punch_info = dir (punch);
t1_info = dir (t1);
printed_info = dir (printed);
printf ("%-34s %9s %9s %9s\n", "cards (3 M terms)", "MB", "seconds", "MB/s");
printf ("%-34s %9.1f %9.3f %9.1f\n", "zorvane_dmig_load, large field", punch_info.bytes / 1e6, best(3), punch_info.bytes / 1e6 / best(3));
printf ("%-34s %9.1f %9.3f %9.1f\n", "zorvane, T1 text of the same matrix", t1_info.bytes / 1e6, best(4), t1_info.bytes / 1e6 / best(4));
extrapolated = script * terms / sample;
printf ("%-34s %9s %9.3f\n", "fgetl + str2double (extrapolated)", "", extrapolated);
printf ("%-34s %9.1f %9.3f\n", "zorvane_dmig_save, large field", punch_info.bytes / 1e6, best(1));
printf ("%-34s %9.1f %9.3f\n", "fprintf, the same lines", printed_info.bytes / 1e6, best(2));
printf ("%-34s %8.2f (goal >= 1.0)\n", "bytes/s, cards / T1 text", (punch_info.bytes / best(3)) / (t1_info.bytes / best(4)));
printf ("%-34s %8.4f (goal <= 0.02)\n", "read / line-by-line script", best(3) / extrapolated);
printf ("%-34s %8.2f (goal <= 0.5)\n", "write / fprintf", best(1) / best(2));

## Peak resident memory of a fresh process while it reads the punch file.
script = sprintf (["addpath ('%s'); s = fileread ('/proc/self/status'); ", ...
                   "base = sscanf (s(strfind (s, 'VmRSS:') + 6:end), '%%d'); ", ...
                   "fid = fopen ('/proc/self/clear_refs', 'w'); fputs (fid, '5'); fclose (fid); ", ...
                   "M = zorvane_dmig_load ('%s'); s = fileread ('/proc/self/status'); ", ...
                   "peak = sscanf (s(strfind (s, 'VmHWM:') + 6:end), '%%d'); ", ...
                   "printf ('%%.1f %%.1f', (peak - base) / 1e3, (16 * nnz (M.matrix) + 8 * (columns (M.matrix) + 1)) / 1e6);"], ...
                  fileparts (which ("zorvane_dmig_load")), punch);
[status, text] = system (sprintf ("octave-cli --norc --no-history --quiet --eval \"%s\" 2>/dev/null", script));
peak = sscanf (text, "%f");
printf ("%-34s %8.1f MB for a matrix of %.1f MB: %.2f x the matrix beyond 64 MB (goal <= 3)\n", "peak while reading", ...
        peak(1), peak(2), (peak(1) - 64) / peak(2));
delete (printed);
