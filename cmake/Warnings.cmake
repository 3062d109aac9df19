# mimoza_warnings(target): the project's warning set, errors when MIMOZA_WERROR is on.
function(mimoza_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wcast-align
                                           -Wnull-dereference -Wformat=2)
  if(MIMOZA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
