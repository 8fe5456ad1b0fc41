# Checks the package INFs against what the installer's line scanner relies on.
#
#   cmake -DPACKAGE_DIR=<folder with the INFs> -P check_inf_rules.cmake
#
# Every INF: printable ASCII only, every line (the last one too) ends in CR LF, no
# line longer than 122 characters. Per INF: the [Version] lines the scanner reads,
# in the order it needs them and before the first model line; every line holding
# the hardware-ID marker is exactly the expected model line, present for both the
# NTamd64 and NTx86 decorations; the other kind's marker and the other variant's
# quoted model name appear nowhere.

cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED PACKAGE_DIR)
  message(FATAL_ERROR "check_inf_rules: -DPACKAGE_DIR=... is required")
endif()

set(printer_marker "USBPRINT\\")
set(interface_marker "USB\\vid_03f0&Pid_092C&mi_0")
set(printer_version
  "Signature=\"$Windows NT$\""
  "Class=Printer"
  "ClassGuid={4D36E979-E325-11CE-BFC1-08002BE10318}")
set(interface_version
  "Signature=\"$Windows NT$\""
  "Class=USBDevice"
  "ClassGuid={88BAE032-5A81-49F0-BC3D-A4FF138216D6}")

# file | kind | model line | first [Version] line | second [Version] line | text that must not appear
set(infs
  "TXR4103ZKW.inf|printer|\"BREVANTO TXR4103 ZKW\"=INSTALL_TXR4103ZKW,USBPRINT\\BREVANTOTXR4103733D|DriverVer=03/10/2023,1.5.27.4|CatalogFile=TXR4103ZKW.cat|\"BREVANTO TXR4103\""
  "TXR4103.inf|printer|\"BREVANTO TXR4103\"=INSTALL_TXR4103,USBPRINT\\BREVANTOTXR41037E2A|DriverVer=03/10/2023,1.5.27.4|CatalogFile=TXR4103.cat|\"BREVANTO TXR4103 ZKW\""
  "PrinterRESTUSB.inf|interface|\"Printer USB(REST)\"=DMR.USB, USB\\vid_03f0&Pid_092C&mi_01|CatalogFile=PrinterRESTUSB.cat|DriverVer=03/29/2021,1.4.26.4|\"Printer USB(WinUSB)\""
  "PrinterWinUBS.inf|interface|\"Printer USB(WinUSB)\"=DMR.USB, USB\\vid_03f0&Pid_092C&mi_02|CatalogFile=PrinterWinUBS.cat|DriverVer=03/29/2021,1.4.26.4|\"Printer USB(REST)\"")

set(errors "")
function(fail msg)
  list(APPEND errors "${inf}: ${msg}")
  set(errors "${errors}" PARENT_SCOPE)
endfunction()

# Byte-level rules, on a ";xx;xx;" hex rendering so that every match is byte aligned.
function(check_bytes path inf out_errors)
  set(errors "")
  file(READ "${path}" hex HEX)
  string(TOLOWER "${hex}" hex)
  string(REGEX REPLACE "(..)" "\\1;" bytes "${hex}")
  set(bytes ";${bytes}")

  string(REGEX MATCH ";([89a-f].|0[0-9bcef]|1.|7f);" bad "${bytes}")
  if(bad)
    string(FIND "${bytes}" "${bad}" pos)
    math(EXPR offset "${pos} / 3")
    string(SUBSTRING "${bad}" 1 2 byte)
    fail("byte 0x${byte} at offset ${offset} is not printable ASCII")
  endif()

  string(REPLACE ";0d;0a" ";|" lines "${bytes}")
  string(REGEX MATCH "^(.*);0[ad];" head "${lines}")
  if(head)
    string(REGEX MATCHALL "\\|" ends "${CMAKE_MATCH_1}")
    list(LENGTH ends n)
    math(EXPR n "${n} + 1")
    fail("line ${n} does not end in CR LF (bare CR or LF)")
  elseif(NOT lines MATCHES "\\|;$")
    fail("the last line does not end in CR LF")
  endif()

  string(REPEAT "[0-9a-f][0-9a-f];" 123 too_long)
  string(REGEX MATCH "^([^|]*\\|;)*${too_long}" long "${lines}")
  if(long)
    string(REGEX MATCHALL "\\|" ends "${long}")
    list(LENGTH ends n)
    math(EXPR n "${n} + 1")
    fail("line ${n} is longer than 122 characters")
  endif()
  set(${out_errors} "${errors}" PARENT_SCOPE)
endfunction()

foreach(entry IN LISTS infs)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 inf)
  list(GET fields 1 kind)
  list(GET fields 2 model_line)
  list(GET fields 3 first_line)
  list(GET fields 4 second_line)
  list(GET fields 5 foreign_text)
  if(kind STREQUAL "printer")
    set(own_marker "${printer_marker}")
    set(other_marker "${interface_marker}")
  else()
    set(own_marker "${interface_marker}")
    set(other_marker "${printer_marker}")
  endif()
  set(required_version ${${kind}_version} "${first_line}" "${second_line}")
  string(TOLOWER "${own_marker}" own_lower)
  string(TOLOWER "${other_marker}" other_lower)

  set(path "${PACKAGE_DIR}/${inf}")
  if(NOT EXISTS "${path}")
    fail("missing")
    continue()
  endif()

  check_bytes("${path}" "${inf}" byte_errors)
  list(APPEND errors ${byte_errors})

  # Line-level rules. Characters with a meaning in CMake lists are masked first.
  file(READ "${path}" text)
  string(FIND "${text}" "${foreign_text}" pos)
  if(pos GREATER -1)
    fail("must not contain ${foreign_text}")
  endif()
  string(REPLACE "\\" "<BS>" text "${text}")
  string(REPLACE ";" "<SC>" text "${text}")
  string(REPLACE "[" "<LB>" text "${text}")
  string(REPLACE "]" "<RB>" text "${text}")
  string(REGEX REPLACE "\r?\n" ";" lines "${text}")

  set(number 0)
  set(section "")
  set(first_pos "")
  set(second_pos "")
  set(first_model "")
  set(model_sections "")
  set(version_seen "")
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    string(REPLACE "<BS>" "\\" line "${line}")
    string(REPLACE "<SC>" ";" line "${line}")
    string(REPLACE "<LB>" "[" line "${line}")
    string(REPLACE "<RB>" "]" line "${line}")
    string(TOLOWER "${line}" lower)

    if(line MATCHES "^\\[([^]]*)\\]")
      set(section "${CMAKE_MATCH_1}")
      continue()
    endif()
    if(section STREQUAL "Version" AND line IN_LIST required_version)
      list(APPEND version_seen "${line}")
      if(line STREQUAL first_line)
        set(first_pos ${number})
      elseif(line STREQUAL second_line)
        set(second_pos ${number})
      endif()
    endif()

    string(FIND "${lower}" "${other_lower}" pos)
    if(pos GREATER -1)
      fail("line ${number} contains ${other_marker}, which belongs to the other kind of INF")
    endif()
    string(FIND "${lower}" "${own_lower}" pos)
    if(pos GREATER -1)
      if(NOT line STREQUAL model_line)
        fail("line ${number} holds ${own_marker} but is not the model line ${model_line}")
      endif()
      if(NOT first_model)
        set(first_model ${number})
      endif()
      string(TOLOWER "${section}" section_lower)
      list(APPEND model_sections "${section_lower}")
    endif()
  endforeach()

  foreach(required IN LISTS required_version)
    if(NOT required IN_LIST version_seen)
      fail("[Version] lacks the line ${required}")
    endif()
  endforeach()
  if(NOT first_model)
    fail("has no model line ${model_line}")
  else()
    foreach(decoration ntamd64 ntx86)
      list(FILTER model_sections EXCLUDE REGEX "^$")
      set(found FALSE)
      foreach(s IN LISTS model_sections)
        if(s MATCHES "\\.${decoration}$")
          set(found TRUE)
        endif()
      endforeach()
      if(NOT found)
        fail("has no model line in a .${decoration} models section")
      endif()
    endforeach()
  endif()
  if(first_pos AND second_pos)
    if(NOT first_pos LESS second_pos)
      fail("${first_line} must come before ${second_line}")
    endif()
    if(first_model AND NOT second_pos LESS first_model)
      fail("${second_line} must come before the first model line (line ${first_model})")
    endif()
  endif()
endforeach()

if(errors)
  list(JOIN errors "\n  " report)
  message(FATAL_ERROR "INF rules violated:\n  ${report}")
endif()
message(STATUS "INF rules hold for ${PACKAGE_DIR}")
