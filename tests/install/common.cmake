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

# Reads the width and height of a PNG file into OUT_VAR as "WIDTHxHEIGHT" and stops the script if
# the file is not a PNG. A PNG opens with an 8-byte signature and the IHDR chunk: its length, its
# type, then width and height as big-endian 32-bit words at bytes 16 and 20.
function(tessera_png_size out_var file)
  file(READ ${file} head LIMIT 24 HEX)
  string(LENGTH "${head}" length)
  if(length LESS 48)
    message(FATAL_ERROR "${file} is too short for a PNG file")
  endif()
  string(SUBSTRING "${head}" 0 16 signature)
  string(SUBSTRING "${head}" 24 8 chunk)
  if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT chunk STREQUAL "49484452")
    message(FATAL_ERROR "${file} is not a PNG file")
  endif()
  string(SUBSTRING "${head}" 32 8 width)
  string(SUBSTRING "${head}" 40 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  set(${out_var} "${width}x${height}" PARENT_SCOPE)
endfunction()

foreach(variable IN LISTS TESSERA_REQUIRED_VARIABLES)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()
