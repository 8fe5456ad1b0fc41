# Makes one driver catalog: a DER PKCS #7 SignedData with embedded content, signed by
# the publisher key and carrying the publisher and intermediate certificates.
#
#   cmake -DOPENSSL=<openssl> -DPKI_DIR=<pki dir> -DBASE_DIR=<package dir>
#         -DFILES=<a|b|V3/i386/c> -DOUT=<X.cat> -P txr_make_catalog.cmake
#
# The content lists "<sha256>  <path>" per file (paths relative to BASE_DIR, with
# backslashes as on the target), one CR LF line each.

cmake_minimum_required(VERSION 3.25)

foreach(var OPENSSL PKI_DIR BASE_DIR FILES OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "txr_make_catalog: -D${var}=... is required")
  endif()
endforeach()

get_filename_component(cat_name "${OUT}" NAME)
set(content "BREVANTO driver package catalog\r\nCatalog: ${cat_name}\r\nHash: SHA256\r\n")
string(REPLACE "|" ";" files "${FILES}")
foreach(rel IN LISTS files)
  if(NOT EXISTS "${BASE_DIR}/${rel}")
    message(FATAL_ERROR "txr_make_catalog: ${BASE_DIR}/${rel} does not exist")
  endif()
  file(SHA256 "${BASE_DIR}/${rel}" hash)
  string(REPLACE "/" "\\" target_path "${rel}")
  string(APPEND content "${hash}  ${target_path}\r\n")
endforeach()

set(tmp "${OUT}.tmp")
file(WRITE "${tmp}.txt" "${content}")
execute_process(
  COMMAND "${OPENSSL}" cms -sign -binary -nodetach -nosmimecap -md sha256 -outform DER
          -signer "${PKI_DIR}/publisher.pem" -inkey "${PKI_DIR}/publisher.key"
          -certfile "${PKI_DIR}/intermediate.pem"
          -in "${tmp}.txt" -out "${tmp}"
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "txr_make_catalog: signing ${cat_name} failed (${rc}): ${err}")
endif()
file(REMOVE "${tmp}.txt")
file(RENAME "${tmp}" "${OUT}")
