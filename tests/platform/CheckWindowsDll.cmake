# What a plug-in DLL shows Windows, read with the toolchain's objdump:
# its machine, exactly the exports its format needs (`main` for VST 2, or
# the sorted list EXPORTS), and imports from system DLLs only (no runtime
# DLL that a user would have to install).
#   cmake -DOBJDUMP=<objdump> -DDLL=<file> -DFORMAT=<pei-i386|pei-x86-64> [-DEXPORTS=<a;b>] -P CheckWindowsDll.cmake

execute_process(COMMAND ${OBJDUMP} -p ${DLL}
  OUTPUT_VARIABLE dump ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed (${result}): ${errors}")
endif()
string(REPLACE "\r" "" dump "${dump}")
string(REPLACE ";" "," dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")

set(format "")
set(exports "")
set(imports "")
set(in_export_names FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "file format ([^ ]+)$")
    set(format ${CMAKE_MATCH_1})
  elseif(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_export_names TRUE)
  elseif(in_export_names AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
    list(APPEND exports "${CMAKE_MATCH_1}")
  elseif(in_export_names)
    set(in_export_names FALSE)
  endif()
  if(line MATCHES "^[ \t]*DLL Name: (.+)$")
    list(APPEND imports "${CMAKE_MATCH_1}")
  endif()
endforeach()

set(faults "")
if(NOT format STREQUAL FORMAT)
  string(APPEND faults "  file format is '${format}', expected '${FORMAT}'\n")
endif()
if(NOT DEFINED EXPORTS)
  set(EXPORTS main)
endif()
list(SORT exports)
if(NOT exports STREQUAL EXPORTS)
  string(APPEND faults "  exports are '${exports}', expected exactly '${EXPORTS}'\n")
endif()

# DLLs that every Windows installation has.
set(system_dll_pattern
  "^(kernel32|msvcrt|ucrtbase|ntdll|user32|advapi32|shell32|ole32|ws2_32|bcrypt|api-ms-win-[a-z0-9-]+)\\.dll$")
if(NOT imports)
  string(APPEND faults "  no imported DLLs found: objdump output not understood\n")
endif()
foreach(import IN LISTS imports)
  string(TOLOWER "${import}" name)
  if(NOT name MATCHES "${system_dll_pattern}")
    string(APPEND faults "  imports ${import}, which is not a system DLL\n")
  endif()
endforeach()

if(faults)
  message(FATAL_ERROR "${DLL}:\n${faults}")
endif()
message(STATUS "${DLL}: ${format}, exports ${exports}, imports ${imports}")
