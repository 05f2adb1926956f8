## Times zorvane_save on the banded matrix of 1000000 columns (31 M
## entries) against Octave's save -binary of the same matrix and a raw
## fwrite of as many bytes as zorvane_save writes (also followed by a sync
## to the disk, as zorvane_save makes sure of its file before renaming it); its text output against
## Octave's fprintf of the same numbers with %23.16E, three a line; and
## the peak memory a fresh process takes beyond the input matrix.
## Needs bench_dir (set by scripts/bench), where the files are written.
## Run: scripts/bench save
if (! exist (fullfile (bench_dir, "band_table.txt"), "file"))
  system (sprintf ("'%s' '%s' > /dev/null", fullfile (bench_dir, "make_bench_files"), bench_dir));
endif
A = zorvane (fullfile (bench_dir, "band_large.op4"), "KLARGE", 0);
out = [tempname() ".op4"];
binary = [tempname() ".bin"];
raw = [tempname() ".raw"];
text = [tempname() ".txt"];
zorvane_save (out, "KLARGE", A, "form", 6);
info = dir (out);
bytes = zeros (info.bytes, 1, "uint8");
values = nonzeros (A);

rounds = 5;
best = inf (1, 6);
for r = 1:rounds
  t = tic; zorvane_save (out, "KLARGE", A, "form", 6); best(1) = min (best(1), toc (t));
  t = tic; save ("-binary", binary, "A"); best(2) = min (best(2), toc (t));
  t = tic; fid = fopen (raw, "w"); fwrite (fid, bytes); fclose (fid); best(3) = min (best(3), toc (t));
  t = tic; fid = fopen (raw, "w"); fwrite (fid, bytes); fclose (fid); system (["sync '" raw "'"]);
  best(6) = min (best(6), toc (t));
  if (r <= 2)
    t = tic; zorvane_save (out, "KLARGE", A, "form", 6, "format", "text"); best(4) = min (best(4), toc (t));
    t = tic; fid = fopen (text, "w"); fprintf (fid, "%23.16E%23.16E%23.16E\n", values); fclose (fid);
    best(5) = min (best(5), toc (t));
  endif
endfor
printf ("%-28s %9s %8s\n", "writer (31 M entries)", "MB", "seconds");
printf ("%-28s %9.1f %8.3f\n", "zorvane_save, binary", info.bytes / 1e6, best(1));
info_binary = dir (binary);
printf ("%-28s %9.1f %8.3f\n", "save -binary", info_binary.bytes / 1e6, best(2));
printf ("%-28s %9.1f %8.3f\n", "fwrite, same bytes", info.bytes / 1e6, best(3));
printf ("%-28s %9.1f %8.3f\n", "fwrite + sync", info.bytes / 1e6, best(6));
zorvane_save (out, "KLARGE", A, "form", 6, "format", "text");
info_text = dir (out);
info_fprintf = dir (text);
printf ("%-28s %9.1f %8.3f\n", "zorvane_save, text", info_text.bytes / 1e6, best(4));
printf ("%-28s %9.1f %8.3f\n", "fprintf %23.16E", info_fprintf.bytes / 1e6, best(5));
printf ("%-28s %8.2f (goal <= 1.0)\n", "binary / save -binary", best(1) / best(2));
printf ("%-28s %8.2f (goal <= 1.3)\n", "binary / fwrite", best(1) / best(3));
printf ("%-28s %8.2f\n", "binary / (fwrite + sync)", best(1) / best(6));
printf ("%-28s %8.2f (goal <= 0.25)\n", "text / fprintf", best(4) / best(5));
delete (binary); delete (raw); delete (text);
clear A bytes values;

## Peak resident memory of a fresh process beyond the input matrix.
for format = {"binary", "text"}
  script = sprintf (["addpath ('%s'); A = zorvane ('%s', 'KLARGE', 0); ", ...
                     "fid = fopen ('/proc/self/clear_refs', 'w'); fputs (fid, '5'); fclose (fid); ", ...
                     "s = fileread ('/proc/self/status'); base = sscanf (s(strfind (s, 'VmRSS:') + 6:end), '%%d'); ", ...
                     "zorvane_save ('%s', 'KLARGE', A, 'format', '%s'); s = fileread ('/proc/self/status'); ", ...
                     "peak = sscanf (s(strfind (s, 'VmHWM:') + 6:end), '%%d'); ", ...
                     "printf ('%%.1f', (peak - base) / 1e3);"], fileparts (which ("zorvane")), ...
                    fullfile (bench_dir, "band_large.op4"), out, format{1});
  [status, peak] = system (sprintf ("octave-cli --norc --no-history --quiet --eval \"%s\" 2>/dev/null", script));
  printf ("%-28s %8s MB beyond the input (goal <= 64)\n", ["peak, " format{1}], strtrim (peak));
endfor
delete (out);
