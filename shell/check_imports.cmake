# check_imports.cmake - fails unless PROGRAM is a window program (subsystem 2)
# that imports only Windows system DLLs.
# cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -P check_imports.cmake

# Only libraries that Windows always loads from its own folder: any other
# import (winspool.drv among them) would first be looked for beside the
# program, where a planted copy could stand. Such libraries are loaded at
# run time by their full path instead.
set(system_dlls kernel32.dll user32.dll gdi32.dll comdlg32.dll advapi32.dll
                msvcrt.dll shell32.dll ole32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM}
                OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed (${status})")
endif()

# A console program would open a console window beside velmar's own.
if(NOT dump MATCHES "Subsystem[ \t]+0*2[ \t]")
  string(REGEX MATCH "Subsystem[^\r\n]*" subsystem "${dump}")
  message(FATAL_ERROR "${PROGRAM} is not a Windows GUI program (${subsystem})")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "${PROGRAM}: no import table found")
endif()

set(bad "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: *" "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" key)
  message(STATUS "imports ${dll}")
  list(FIND system_dlls "${key}" found)
  if(found EQUAL -1)
    list(APPEND bad "${dll}")
  endif()
endforeach()

if(bad)
  message(FATAL_ERROR "${PROGRAM} imports DLLs that are not part of Windows: ${bad}")
endif()
