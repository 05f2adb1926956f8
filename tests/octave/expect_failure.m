## message = expect_failure (call, identifier): calls call (), which must
## raise the error identifier; returns its message.
function message = expect_failure (call, identifier)
  try
    call ();
  catch err
    assert (err.identifier, identifier, err.message);
    message = err.message;
    return;
  end_try_catch
  error ("expected the error %s", identifier);
endfunction
