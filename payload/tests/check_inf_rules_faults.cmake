# Feeds check_inf_rules.cmake broken copies of the package INFs and expects each
# fault to be reported.
#
#   cmake -DPACKAGE_DIR=<good INFs> -DWORK_DIR=<scratch> -P check_inf_rules_faults.cmake

cmake_minimum_required(VERSION 3.25)

set(checker "${CMAKE_CURRENT_LIST_DIR}/check_inf_rules.cmake")
set(infs TXR4103ZKW.inf TXR4103.inf PrinterRESTUSB.inf PrinterWinUBS.inf)
string(ASCII 233 e_acute)
string(REPEAT "x" 115 filler)

# name | file | text to find | replacement | expected report (empty: must pass)
# "\n" is a line end (written as CR LF), "<LF>" a bare LF, "<SC>" a ";" (which would split
# the CMake list). file(READ) drops the CR of each CR LF, so the copies are rebuilt that way.
set(cases
  "lf_only|TXR4103.inf|[Manufacturer]\n|[Manufacturer]<LF>|does not end in CR LF"
  "bare_cr|PrinterWinUBS.inf|[Strings]\n|[Strings]\r|does not end in CR LF"
  "no_final_crlf|PrinterRESTUSB.inf|WinUSB Driver\"\n|WinUSB Driver\"|last line does not end in CR LF"
  "non_ascii|TXR4103ZKW.inf|<SC> Copyright|<SC> Copyright ${e_acute}|not printable ASCII"
  "tab|TXR4103.inf|Needs=UNIDRV.OEM|Needs=\tUNIDRV.OEM|not printable ASCII"
  "long_line|TXR4103.inf|[Strings]\n|[Strings]\nLONG=\"${filler}x\"\n|line 80 is longer than 122"
  "line_of_122_is_fine|TXR4103.inf|[Strings]\n|[Strings]\nLONG=\"${filler}\"\n|"
  "order_printer|TXR4103ZKW.inf|DriverVer=03/10/2023,1.5.27.4\nCatalogFile=TXR4103ZKW.cat|CatalogFile=TXR4103ZKW.cat\nDriverVer=03/10/2023,1.5.27.4|must come before CatalogFile"
  "order_interface|PrinterRESTUSB.inf|CatalogFile=PrinterRESTUSB.cat\nDriverVer=03/29/2021,1.4.26.4|DriverVer=03/29/2021,1.4.26.4\nCatalogFile=PrinterRESTUSB.cat|must come before DriverVer"
  "catalog_moved_out|TXR4103.inf|CatalogFile=TXR4103.cat\n\n[Manufacturer]\n|\n[Manufacturer]\nCatalogFile=TXR4103.cat\n|lacks the line CatalogFile=TXR4103.cat"
  "wrong_class|PrinterWinUBS.inf|Class=USBDevice|Class=USB|lacks the line Class=USBDevice"
  "trailing_compatible_id|TXR4103.inf|BREVANTOTXR41037E2A\n|BREVANTOTXR41037E2A,BREVANTOTXR41037E2A\n|is not the model line"
  "marker_in_comment|TXR4103ZKW.inf|<SC> Installation|<SC> Installation for USBPRINT\\ devices|line 25 holds USBPRINT"
  "printer_marker_in_interface|PrinterWinUBS.inf|<SC> Installation|<SC> usbprint\\ is not handled here|belongs to the other kind"
  "interface_marker_in_printer|TXR4103.inf|<SC> Installation|<SC> not for USB\\VID_03F0&PID_092C&MI_01|belongs to the other kind"
  "zkw_name_in_standard|TXR4103.inf|BREVANTO=\"BREVANTO\"|BREVANTO=\"BREVANTO TXR4103 ZKW\"|must not contain \"BREVANTO TXR4103 ZKW\""
  "one_decoration_only|TXR4103ZKW.inf|[BREVANTO.NTx86]|[BREVANTO]|no model line in a .ntx86 models section")

set(failures "")
foreach(entry IN LISTS cases)
  if(NOT entry MATCHES "^([^|]*)\\|([^|]*)\\|([^|]*)\\|([^|]*)\\|([^|]*)$")
    message(FATAL_ERROR "malformed case: ${entry}")
  endif()
  set(name "${CMAKE_MATCH_1}")
  set(target "${CMAKE_MATCH_2}")
  string(REPLACE "<SC>" ";" find "${CMAKE_MATCH_3}")
  string(REPLACE "<SC>" ";" replace "${CMAKE_MATCH_4}")
  set(expected "${CMAKE_MATCH_5}")

  set(dir "${WORK_DIR}/${name}")
  file(REMOVE_RECURSE "${dir}")
  file(MAKE_DIRECTORY "${dir}")
  foreach(inf IN LISTS infs)
    file(COPY_FILE "${PACKAGE_DIR}/${inf}" "${dir}/${inf}")
  endforeach()
  file(READ "${dir}/${target}" text)
  string(FIND "${text}" "${find}" pos)
  if(pos EQUAL -1)
    list(APPEND failures "${name}: fixture text not found in ${target}")
    continue()
  endif()
  string(REPLACE "${find}" "${replace}" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  string(REPLACE "<LF>" "\n" text "${text}")
  file(WRITE "${dir}/${target}" "${text}")

  execute_process(COMMAND "${CMAKE_COMMAND}" -DPACKAGE_DIR=${dir} -P "${checker}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REGEX REPLACE "[ \r\n]+" " " report "${err}")
  if(expected STREQUAL "")
    if(NOT rc EQUAL 0)
      list(APPEND failures "${name}: expected no report, got: ${report}")
    endif()
  elseif(rc EQUAL 0)
    list(APPEND failures "${name}: fault not reported")
  else()
    string(FIND "${report}" "${target}: " pos_file)
    string(FIND "${report}" "${expected}" pos_msg)
    if(pos_file EQUAL -1 OR pos_msg EQUAL -1)
      list(APPEND failures "${name}: expected '${target}: ... ${expected}', got: ${report}")
    endif()
  endif()
endforeach()

if(failures)
  list(JOIN failures "\n  " report)
  message(FATAL_ERROR "check_inf_rules missed faults:\n  ${report}")
endif()
