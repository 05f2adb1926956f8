## words = op4_words (values, precision): values as data words, "single"
## one word each, "double" two words each with the low half first.
function words = op4_words (values, precision)
  words = typecast (cast (values(:)', precision), "uint32");
endfunction
