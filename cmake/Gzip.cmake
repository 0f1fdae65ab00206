# kv_gzip(<input> <output>): compresses a file the way Debian wants documentation
# compressed: best compression, no name or time stamp in the header (reproducible).
# As a script: cmake -DINPUT=<file> -DOUTPUT=<file.gz> -P Gzip.cmake
function(kv_gzip input output)
  find_program(KV_GZIP gzip REQUIRED)
  execute_process(COMMAND ${KV_GZIP} -9nc INPUT_FILE "${input}" OUTPUT_FILE "${output}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${input} failed (${status})")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  kv_gzip("${INPUT}" "${OUTPUT}")
endif()
