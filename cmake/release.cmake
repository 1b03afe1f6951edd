# release.cmake - builds the downloadable archive velmar-<version>.zip.
#
# cmake -DSOURCE_DIR=<tree> -DBINARY_DIR=<build/win32> -DTOOLCHAIN=<file>
#       -DICONV=<iconv> -DVERSION=<x.y.z> -P release.cmake
#
# The program in the archive is a Release build made in a tree of its own
# (BINARY_DIR/release-build), whatever the build type of BINARY_DIR; a
# Release link strips it. The archive holds velmar.exe, velmar.chm, README.txt (English)
# and ЧИТАЙМЕНЯ.txt (Russian, Windows-1251), both read-mes with CRLF line
# ends for Notepad.

foreach(var SOURCE_DIR BINARY_DIR TOOLCHAIN ICONV VERSION)
  if(NOT ${var})
    message(FATAL_ERROR "release.cmake: ${var} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "release: failed (${status}): ${ARGN}")
  endif()
endfunction()

if(NOT IS_ABSOLUTE "${TOOLCHAIN}")
  set(TOOLCHAIN "${SOURCE_DIR}/${TOOLCHAIN}")
endif()
set(tree "${BINARY_DIR}/release-build")
set(stage "${BINARY_DIR}/release")
set(archive "${BINARY_DIR}/velmar-${VERSION}.zip")

run("${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${tree}"
    "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}" -DCMAKE_BUILD_TYPE=Release)
run("${CMAKE_COMMAND}" --build "${tree}" --target velmar)

file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")
file(COPY_FILE "${tree}/shell/velmar.exe" "${stage}/velmar.exe")
file(COPY_FILE "${tree}/shell/velmar.chm" "${stage}/velmar.chm")

set(VELMAR_VERSION "${VERSION}")
configure_file("${SOURCE_DIR}/resources/release/README.txt" "${stage}/README.txt"
               @ONLY NEWLINE_STYLE CRLF)
configure_file("${SOURCE_DIR}/resources/release/readme-ru.txt" "${stage}/readme-ru.utf8"
               @ONLY NEWLINE_STYLE CRLF)
execute_process(COMMAND "${ICONV}" -f UTF-8 -t CP1251 "${stage}/readme-ru.utf8"
                OUTPUT_FILE "${stage}/ЧИТАЙМЕНЯ.txt" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "release: readme-ru.txt is not convertible to Windows-1251")
endif()
file(REMOVE "${stage}/readme-ru.utf8")

# The archiver needs a UTF-8 locale to store the Cyrillic name; it then
# marks the names as UTF-8, which unpackers honour.
set(ENV{LC_ALL} C.UTF-8)
file(REMOVE "${archive}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${archive}" --format=zip
                        velmar.exe velmar.chm README.txt ЧИТАЙМЕНЯ.txt
                WORKING_DIRECTORY "${stage}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "release: cannot write ${archive}")
endif()
message(STATUS "release: ${archive}")
