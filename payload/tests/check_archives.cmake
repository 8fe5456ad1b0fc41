# Unpacks the three archives and compares them with the package they were made from:
# Main.CAB must hold exactly the package's top-level files, i386.CAB / amd64.CAB
# exactly V3/i386 / V3/amd64, all flat and byte for byte identical.
#
#   cmake -DCABEXTRACT=<cabextract> -DPACKAGE_DIR=<package> -DCAB_MAIN=... -DCAB_I386=...
#         -DCAB_AMD64=... -DWORK_DIR=<scratch> -P check_archives.cmake

cmake_minimum_required(VERSION 3.25)

set(errors "")
foreach(part MAIN I386 AMD64)
  set(cab "${CAB_${part}}")
  get_filename_component(cab_name "${cab}" NAME)
  if(part STREQUAL "MAIN")
    set(source "${PACKAGE_DIR}")
  else()
    string(TOLOWER "${part}" arch)
    set(source "${PACKAGE_DIR}/V3/${arch}")
  endif()
  file(GLOB expected LIST_DIRECTORIES false RELATIVE "${source}" "${source}/*")

  set(dir "${WORK_DIR}/${part}")
  file(REMOVE_RECURSE "${dir}")
  file(MAKE_DIRECTORY "${dir}")
  execute_process(COMMAND "${CABEXTRACT}" -q -d "${dir}" "${cab}"
    RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    list(APPEND errors "${cab_name}: cabextract failed (${rc}): ${err}")
    continue()
  endif()
  file(GLOB_RECURSE actual LIST_DIRECTORIES false RELATIVE "${dir}" "${dir}/*")

  list(SORT expected)
  list(SORT actual)
  if(NOT actual STREQUAL expected)
    list(APPEND errors "${cab_name}: holds [${actual}], expected [${expected}]")
    continue()
  endif()
  foreach(name IN LISTS expected)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${source}/${name}" "${dir}/${name}"
      RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      list(APPEND errors "${cab_name}: ${name} differs from ${source}/${name}")
    endif()
  endforeach()
  file(REMOVE_RECURSE "${dir}")
endforeach()

if(errors)
  list(JOIN errors "\n  " report)
  message(FATAL_ERROR "archive check failed:\n  ${report}")
endif()
