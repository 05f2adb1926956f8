## The help files move next to the plug-ins: in one folder the plug-in
## runs and its .m file gives the help and the tests.
function post_install (desc)
  arch = fullfile (desc.archprefix, [__octave_config_info__("canonical_host_type"), "-", ...
                                     __octave_config_info__("api_version")]);
  for name = {"zorvane", "tessik", "zorvane_dir", "zorvane_load", "zorvane_save", "zorvane_dmig_load", ...
               "zorvane_dmig_dir", "zorvane_dmig_save"}
    movefile (fullfile (desc.dir, [name{1} ".m"]), arch);
  endfor
endfunction
