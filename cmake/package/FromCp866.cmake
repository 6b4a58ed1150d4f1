# cmake -DIN=FILE -DOUT=FILE -P FromCp866.cmake: the code page 866 text IN as
# OUT in UTF-8, line ends kept: the language file far2l reads, made from the
# one FAR reads on Windows.
find_program(ICONV iconv REQUIRED)
execute_process(COMMAND "${ICONV}" -f CP866 -t UTF-8 "${IN}" OUTPUT_FILE "${OUT}.tmp"
                RESULT_VARIABLE failed)
if(failed)
  file(REMOVE "${OUT}.tmp")
  message(FATAL_ERROR "${IN}: cannot be read as code page 866")
endif()
file(RENAME "${OUT}.tmp" "${OUT}")
