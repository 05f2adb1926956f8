## Times tessik against the host's floor (a plug-in that only copies its
## input into the same two outputs) and Octave's own expression, in one
## process on the same matrices, with both outputs asked for. Each method
## is timed in blocks of calls after one untimed call, in rotating order,
## so that no method inherits another's memory state; the best block counts.
## Run: scripts/bench tessik
shapes = {"tall", 1000000, 20, 5; "square", 4000, 2500, 5; "wide", 20, 200000, 20;
          "300x300", 300, 300, 300; "100x100", 100, 100, 2000};
methods = {@(X) tessik (X), @(X) floor_tessik (X), @(X) octave_expression (X)};
rounds = 9;
printf ("%-8s %11s %11s %11s %9s %9s\n", "shape", "tessik ms", "floor ms", "octave ms", "/floor", "/octave");
for k = 1:rows (shapes)
  [name, m, n, calls] = shapes{k, :};
  randn ("seed", k);
  X = randn (m, n);
  best = inf (1, 3);
  for r = 1:rounds
    for w = circshift (1:3, r)
      [Y, S] = methods{w} (X);
      t = tic;
      for c = 1:calls
        [Y, S] = methods{w} (X);
      endfor
      best(w) = min (best(w), toc (t));
      clear Y S;
    endfor
  endfor
  best = 1000 * best / calls;
  printf ("%-8s %11.3f %11.3f %11.3f %9.2f %9.2f\n", name, best, best(1) / best(2), best(1) / best(3));
endfor
