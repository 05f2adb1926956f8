## Writes plate.op4: the stiffness matrix KAA of a 20 x 20 grid plate
## (five-point Laplacian, 400 x 400, packed-string double layout) and its
## lumped mass matrix MAA (dense single layout), with the tests' own writer.
## Run from the project root: octave-cli examples/make_example.m
addpath (fullfile (pwd, "tests", "octave"));
n = 20;
T = spdiags (repmat ([-1 2 -1], n, 1), -1:1, n, n);
K = kron (speye (n), T) + kron (T, speye (n));
bytes = op4_header (n*n, n*n, 6, 2, "KAA");
for c = 1:n*n
  [r, ~, v] = find (K(:, c));
  words = [];
  breaks = [0; find(diff (r) > 1); numel(r)];
  for s = 1:numel (breaks) - 1
    run = breaks(s)+1:breaks(s+1);
    w = op4_words (v(run), "double");
    words = [words, uint32((numel (w) + 1) * 65536 + r(run(1))), w];
  endfor
  bytes = [bytes, op4_column(c, 0, words)];
endfor
bytes = [bytes, op4_column(n*n + 1, 1, op4_words (0, "double"))];
bytes = [bytes, op4_header(n*n, n*n, 6, 1, "MAA")];
for c = 1:n*n
  bytes = [bytes, op4_column(c, c, op4_words (1 / (n*n), "single"))];
endfor
op4_write (fullfile ("examples", "plate.op4"), bytes);
