# Makes one stand-in driver binary: a 64-byte "MZ" header followed by
# deterministic, incompressible bytes (AES-128-CTR key stream).
#
#   cmake -DOPENSSL=<openssl> -DOUT=<file> -DSIZE=<bytes> -DSEED=<text> -P txr_make_binary.cmake
#
# The key and IV come from SHA-256(SEED), so every SEED gives its own stable content.

cmake_minimum_required(VERSION 3.25)

foreach(var OPENSSL OUT SIZE SEED)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "txr_make_binary: -D${var}=... is required")
  endif()
endforeach()

set(header_size 64)
math(EXPR body_size "${SIZE} - ${header_size}")
if(body_size LESS 0)
  message(FATAL_ERROR "txr_make_binary: SIZE must be at least ${header_size}")
endif()

string(SHA256 digest "TXR4103 sample binary|${SEED}")
string(SUBSTRING "${digest}" 0 32 key)
string(SUBSTRING "${digest}" 32 32 iv)

get_filename_component(name "${OUT}" NAME)
set(header "MZ BREVANTO ${name} sample binary (${SEED}), not executable")
string(LENGTH "${header}" len)
if(len GREATER 62)
  string(SUBSTRING "${header}" 0 62 header)
  set(len 62)
endif()
math(EXPR pad "${header_size} - 2 - ${len}")
string(REPEAT " " ${pad} spaces)

set(tmp "${OUT}.tmp")
file(WRITE "${tmp}.head" "${header}${spaces}\r\n")
string(REPEAT "\n" ${body_size} plain)
file(WRITE "${tmp}.plain" "${plain}")
unset(plain)

execute_process(
  COMMAND "${OPENSSL}" enc -aes-128-ctr -nosalt -K ${key} -iv ${iv} -in "${tmp}.plain" -out "${tmp}.body"
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "txr_make_binary: openssl enc failed (${rc}): ${err}")
endif()

execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${tmp}.head" "${tmp}.body"
  OUTPUT_FILE "${tmp}" RESULT_VARIABLE rc)
file(SIZE "${tmp}" actual)
if(NOT rc EQUAL 0 OR NOT actual EQUAL SIZE)
  message(FATAL_ERROR "txr_make_binary: ${OUT} came out at ${actual} bytes, expected ${SIZE}")
endif()
file(REMOVE "${tmp}.head" "${tmp}.plain" "${tmp}.body")
file(RENAME "${tmp}" "${OUT}")
