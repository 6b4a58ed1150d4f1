# cmake -DIN=FILE -DOUT=FILE -DVERSION=X.Y -P ToCp866.cmake: the UTF-8 text IN
# (with @VERSION@ filled in) as OUT in code page 866 with CR LF line ends, as
# FAR's viewer reads it.
find_program(ICONV iconv REQUIRED)
file(READ "${IN}" text)
string(CONFIGURE "${text}" text @ONLY)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}.crlf" "${text}")
execute_process(COMMAND "${ICONV}" -f UTF-8 -t CP866 "${OUT}.crlf" OUTPUT_FILE "${OUT}.tmp"
                RESULT_VARIABLE failed)
file(REMOVE "${OUT}.crlf")
if(failed)
  file(REMOVE "${OUT}.tmp")
  message(FATAL_ERROR "${IN}: cannot be converted to code page 866")
endif()
file(RENAME "${OUT}.tmp" "${OUT}")
