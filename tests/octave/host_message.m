## message = host_message (name, text): an error message without an
## identifier as the plug-in NAME shows it. Octave's MEX layer puts the
## function's name in front once more; a native plug-in shows the text.
function message = host_message (name, text)
  [~, ~, ext] = fileparts (which (name));
  if (strcmp (ext, ".oct"))
    message = text;
  else
    message = [name ": " text];
  endif
endfunction
