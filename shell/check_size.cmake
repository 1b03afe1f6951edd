# check_size.cmake - fails unless PROGRAM is stripped and at most LIMIT bytes.
# cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -DLIMIT=<bytes> -P check_size.cmake

file(SIZE ${PROGRAM} size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${PROGRAM} is ${size} bytes, more than ${LIMIT}")
endif()
execute_process(COMMAND ${OBJDUMP} -h ${PROGRAM} OUTPUT_VARIABLE sections RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -h ${PROGRAM} failed (${status})")
endif()
if(sections MATCHES "\\.debug_")
  message(FATAL_ERROR "${PROGRAM} still carries debugging sections")
endif()
message(STATUS "${PROGRAM}: ${size} bytes, stripped")
