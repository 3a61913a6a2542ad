# Warnings for the project's own targets only.
function(quillarc_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wold-style-cast -Wcast-align -Woverloaded-virtual)
  if(QUILLARC_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
