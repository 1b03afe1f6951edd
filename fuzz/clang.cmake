# clang.cmake - the build of the fuzz targets (VELMAR_FUZZ=ON): clang with
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer on every
# source, engine included.

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "VELMAR_FUZZ needs clang: configure with CC=clang CXX=clang++")
endif()

add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)

# clang keeps the bytes of a string literal as they stand but cannot recode
# them (-fexec-charset takes only UTF-8): it is given the log texts already
# in Windows-1251.
set(VELMAR_CXX_FLAGS -fno-exceptions -Wall -Wextra -Wno-unused-parameter -Wno-invalid-source-encoding)

# Swaps the engine's log_text.cpp for a Windows-1251 copy made at build time.
function(velmar_log_texts_in_cp1251 library)
  find_program(VELMAR_ICONV iconv REQUIRED)
  set(source ${CMAKE_SOURCE_DIR}/engine/log_text.cpp)
  set(copy ${CMAKE_BINARY_DIR}/log_text_cp1251.cpp)
  add_custom_command(OUTPUT ${copy}
    COMMAND ${VELMAR_ICONV} -f UTF-8 -t CP1251 -o ${copy} ${source}
    DEPENDS ${source} VERBATIM)
  get_target_property(sources ${library} SOURCES)
  list(TRANSFORM sources REPLACE "^engine/log_text.cpp$" ${copy})
  set_property(TARGET ${library} PROPERTY SOURCES ${sources})
endfunction()
