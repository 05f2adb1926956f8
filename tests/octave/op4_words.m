## words = op4_words (values, precision): values as data words, "single"
## one word each, "double" two words each, in the order the writers' byte
## order puts them (low half first in little-endian files). Complex values
## give the real part's words, then the imaginary part's.
function words = op4_words (values, precision)
  values = values(:).';
  if (iscomplex (values))
    values = [real(values); imag(values)](:)';
  endif
  words = typecast (cast (values, precision), "uint32");
  if (op4_big_endian () && strcmp (precision, "double"))
    words = reshape (words, 2, [])([2 1], :)(:)';
  endif
endfunction
