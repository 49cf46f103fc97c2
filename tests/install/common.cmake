# Helpers shared by the install test scripts (run with cmake -P).

# Runs a command and stops the script with its output when it fails.
# The command's standard output is left in the variable named by OUT_VAR.
function(tessera_run out_var)
  execute_process(COMMAND ${ARGN}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "'${command}' failed (${result}):\n${output}\n${errors}")
  endif()
  set(${out_var} "${output}" PARENT_SCOPE)
endfunction()

foreach(variable IN LISTS TESSERA_REQUIRED_VARIABLES)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()
