# Makes the BREVANTO test signing chain (root -> intermediate -> publisher).
#
#   cmake -DOPENSSL=<openssl> -DCONFIG=<txr-test-pki.cnf> -DOUT_DIR=<pki dir>
#         -DWORK_DIR=<scratch dir> -P txr_make_pki.cmake
#
# Writes root/intermediate/publisher .pem (certificate), .key (unencrypted PKCS #8
# RSA key) and .cer (DER certificate) to OUT_DIR. Serial numbers and validity are
# fixed (2020-01-01 .. 2049-12-31); only the keys differ from one run to the next.

cmake_minimum_required(VERSION 3.25)

foreach(var OPENSSL CONFIG OUT_DIR WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "txr_make_pki: -D${var}=... is required")
  endif()
endforeach()

function(txr_run)
  execute_process(COMMAND ${ARGN}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGN}")
    message(FATAL_ERROR "txr_make_pki: command failed (${rc}):\n${cmd}\n${out}${err}")
  endif()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/issued" "${OUT_DIR}")
file(WRITE "${WORK_DIR}/index.txt" "")
set(ENV{TXR_PKI_WORK} "${WORK_DIR}")

set(validity -startdate 200101000000Z -enddate 491231235959Z)

# name | serial | subject | extensions section | issuer ("self" for the root)
set(chain
  "root|1001|/O=BREVANTO Test/CN=BREVANTO Test Root CA|v3_root|self"
  "intermediate|1002|/O=BREVANTO Test/CN=BREVANTO Test Code Signing CA|v3_intermediate|root"
  "publisher|1003|/O=BREVANTO/CN=BREVANTO Printer Drivers|v3_publisher|intermediate")

foreach(entry IN LISTS chain)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 name)
  list(GET fields 1 serial)
  list(GET fields 2 subject)
  list(GET fields 3 ext)
  list(GET fields 4 issuer)

  set(key "${WORK_DIR}/${name}.key")
  set(csr "${WORK_DIR}/${name}.csr")
  set(pem "${WORK_DIR}/${name}.pem")

  txr_run("${OPENSSL}" genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "${key}")
  txr_run("${OPENSSL}" req -new -config "${CONFIG}" -key "${key}" -subj "${subject}" -out "${csr}")

  file(WRITE "${WORK_DIR}/serial" "${serial}\n")
  if(issuer STREQUAL "self")
    set(signer -selfsign -keyfile "${key}")
  else()
    set(signer -cert "${WORK_DIR}/${issuer}.pem" -keyfile "${WORK_DIR}/${issuer}.key")
  endif()
  txr_run("${OPENSSL}" ca -batch -notext -preserveDN -config "${CONFIG}" -name txr_ca
    ${signer} -extensions ${ext} ${validity} -in "${csr}" -out "${pem}")
  txr_run("${OPENSSL}" x509 -in "${pem}" -outform DER -out "${WORK_DIR}/${name}.cer")
endforeach()

txr_run("${OPENSSL}" verify -x509_strict -CAfile "${WORK_DIR}/root.pem"
  -untrusted "${WORK_DIR}/intermediate.pem" "${WORK_DIR}/publisher.pem")

foreach(name root intermediate publisher)
  foreach(ext pem key cer)
    file(COPY_FILE "${WORK_DIR}/${name}.${ext}" "${OUT_DIR}/${name}.${ext}")
  endforeach()
endforeach()
