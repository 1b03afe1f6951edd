# build_help.cmake - compiles the help sources into velmar.chm.
#
# cmake -DSOURCE=<resources/help> -DWORK=<scratch dir> -DOUTPUT=<velmar.chm>
#       -DCHMCMD=<chmcmd> -DICONV=<iconv> -P build_help.cmake
#
# The sources are UTF-8, so that they read and diff like the rest of the
# tree. The help viewer reads the project, contents and index files in the
# ANSI code page of the help file's language, so every text file is stored
# as Windows-1251 here first, and the pages say so in their charset.

foreach(var SOURCE WORK OUTPUT CHMCMD ICONV)
  if(NOT ${var})
    message(FATAL_ERROR "build_help.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

file(GLOB sources RELATIVE "${SOURCE}" "${SOURCE}/*")
foreach(name IN LISTS sources)
  if(name MATCHES "\\.(htm|hhp|hhc|hhk|css)$")
    file(READ "${SOURCE}/${name}" text)
    string(REPLACE "charset=utf-8" "charset=windows-1251" text "${text}")
    file(WRITE "${WORK}/${name}.utf8" "${text}")
    execute_process(COMMAND "${ICONV}" -f UTF-8 -t CP1251 "${WORK}/${name}.utf8"
                    OUTPUT_FILE "${WORK}/${name}" RESULT_VARIABLE status ERROR_VARIABLE error)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "${name}: not convertible to Windows-1251: ${error}")
    endif()
    file(REMOVE "${WORK}/${name}.utf8")
  else()
    file(COPY "${SOURCE}/${name}" DESTINATION "${WORK}")
  endif()
endforeach()

# The scan reports pages that link to files the project does not hold.
execute_process(COMMAND "${CHMCMD}" --html-scan velmar.hhp
                WORKING_DIRECTORY "${WORK}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0 OR output MATCHES "(Error|Warning|not found|missing)")
  message(FATAL_ERROR "chmcmd failed on velmar.hhp (${status}):\n${output}")
endif()
file(COPY_FILE "${WORK}/velmar.chm" "${OUTPUT}")
