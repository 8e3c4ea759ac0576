# Our own targets build with every warning as an error; third-party code
# (GoogleTest, Qt) is not held to it.
function(project_strict_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()
