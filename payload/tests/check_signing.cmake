# Checks the test signing chain and the four catalogs of the sample package.
#
#   cmake -DOPENSSL=<openssl> -DPKI_DIR=<pki> -DPACKAGE_DIR=<package> -DWORK_DIR=<scratch>
#         -P check_signing.cmake
#
# Chain: subjects, serials, basic constraints (root without a path length, intermediate
# pathlen:0, publisher not a CA), publisher key usage, keys matching certificates, DER
# copies matching the PEM ones, and a strict chain verification.
# Catalogs: DER PKCS #7 carrying publisher and intermediate but not the root, verifying
# against the root alone, with embedded content that lists the catalog's own INF and
# hashes that match the package files.

cmake_minimum_required(VERSION 3.25)

set(errors "")

function(openssl out_var)
  execute_process(COMMAND "${OPENSSL}" ${ARGN}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGN}")
    set(errors ${errors} "openssl ${cmd} failed: ${err}" PARENT_SCOPE)
    set(out "")
  endif()
  set(${out_var} "${out}" PARENT_SCOPE)
endfunction()

# name | serial | subject | issuer | text the certificate must show | text it must not show
set(certs
  "root|1001|O = BREVANTO Test, CN = BREVANTO Test Root CA|O = BREVANTO Test, CN = BREVANTO Test Root CA|Basic Constraints: critical\n +CA:TRUE\n|pathlen"
  "intermediate|1002|O = BREVANTO Test, CN = BREVANTO Test Code Signing CA|O = BREVANTO Test, CN = BREVANTO Test Root CA|CA:TRUE, pathlen:0|CA:FALSE"
  "publisher|1003|O = BREVANTO, CN = BREVANTO Printer Drivers|O = BREVANTO Test, CN = BREVANTO Test Code Signing CA|CA:FALSE.*Key Usage: critical\n +Digital Signature\n.*Extended Key Usage: *\n +Code Signing\n|CA:TRUE")

foreach(entry IN LISTS certs)
  if(NOT entry MATCHES "^([^|]*)\\|([^|]*)\\|([^|]*)\\|([^|]*)\\|([^|]*)\\|([^|]*)$")
    message(FATAL_ERROR "malformed entry ${entry}")
  endif()
  set(name "${CMAKE_MATCH_1}")
  set(serial "${CMAKE_MATCH_2}")
  set(subject "${CMAKE_MATCH_3}")
  set(issuer "${CMAKE_MATCH_4}")
  set(must "${CMAKE_MATCH_5}")
  set(must_not "${CMAKE_MATCH_6}")
  set(pem "${PKI_DIR}/${name}.pem")

  openssl(text x509 -in "${pem}" -noout -text)
  openssl(fields x509 -in "${pem}" -noout -serial -subject -issuer)
  set(want "serial=${serial}\nsubject=${subject}\nissuer=${issuer}\n")
  if(NOT fields STREQUAL want)
    list(APPEND errors "${name}.pem: got\n${fields}expected\n${want}")
  endif()
  string(REGEX MATCH "X509v3 extensions:.*" extensions "${text}")
  if(NOT extensions MATCHES "${must}")
    list(APPEND errors "${name}.pem: extensions lack /${must}/:\n${extensions}")
  endif()
  string(FIND "${extensions}" "${must_not}" pos)
  if(pos GREATER -1)
    list(APPEND errors "${name}.pem: extensions must not show '${must_not}'")
  endif()
  if(NOT text MATCHES "Not Before: Jan  1 00:00:00 2020 GMT\n +Not After : Dec 31 23:59:59 2049 GMT")
    list(APPEND errors "${name}.pem: validity is not 2020-01-01 .. 2049-12-31")
  endif()

  openssl(cert_key x509 -in "${pem}" -noout -pubkey)
  openssl(key_key pkey -in "${PKI_DIR}/${name}.key" -pubout)
  if(NOT cert_key STREQUAL key_key OR cert_key STREQUAL "")
    list(APPEND errors "${name}.key does not belong to ${name}.pem")
  endif()
  openssl(from_der x509 -inform DER -in "${PKI_DIR}/${name}.cer")
  file(READ "${pem}" pem_text)
  if(NOT from_der STREQUAL pem_text)
    list(APPEND errors "${name}.cer is not the DER form of ${name}.pem")
  endif()
endforeach()

openssl(ignored verify -x509_strict -CAfile "${PKI_DIR}/root.pem"
  -untrusted "${PKI_DIR}/intermediate.pem" "${PKI_DIR}/publisher.pem")

file(MAKE_DIRECTORY "${WORK_DIR}")
foreach(cat TXR4103ZKW TXR4103 PrinterRESTUSB PrinterWinUBS)
  set(file "${PACKAGE_DIR}/${cat}.cat")
  openssl(listing pkcs7 -inform DER -in "${file}" -print_certs -noout)
  string(REGEX MATCHALL "subject=[^\n]*" subjects "${listing}")
  set(want_subjects
    "subject=O = BREVANTO, CN = BREVANTO Printer Drivers"
    "subject=O = BREVANTO Test, CN = BREVANTO Test Code Signing CA")
  list(SORT subjects)
  list(SORT want_subjects)
  if(NOT subjects STREQUAL want_subjects)
    list(APPEND errors "${cat}.cat: certificates [${subjects}], expected [${want_subjects}]")
  endif()

  set(content "${WORK_DIR}/${cat}.txt")
  file(REMOVE "${content}")
  openssl(ignored cms -verify -inform DER -in "${file}" -CAfile "${PKI_DIR}/root.pem"
    -purpose any -binary -out "${content}")
  if(NOT EXISTS "${content}")
    continue()
  endif()
  file(STRINGS "${content}" entries REGEX "^[0-9a-f]+  ")
  if(NOT "${entries}" MATCHES "  ${cat}\\.inf(;|$)")
    list(APPEND errors "${cat}.cat does not list ${cat}.inf")
  endif()
  foreach(line IN LISTS entries)
    string(REGEX MATCH "^([0-9a-f]+)  (.*)$" ignored "${line}")
    set(hash "${CMAKE_MATCH_1}")
    string(REPLACE "\\" "/" rel "${CMAKE_MATCH_2}")
    if(NOT EXISTS "${PACKAGE_DIR}/${rel}")
      list(APPEND errors "${cat}.cat lists ${rel}, which is not in the package")
      continue()
    endif()
    file(SHA256 "${PACKAGE_DIR}/${rel}" actual)
    if(NOT actual STREQUAL hash)
      list(APPEND errors "${cat}.cat: hash of ${rel} does not match")
    endif()
  endforeach()
endforeach()

if(errors)
  list(JOIN errors "\n  " report)
  message(FATAL_ERROR "signing check failed:\n  ${report}")
endif()
