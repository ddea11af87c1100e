# What a host's loader sees in the built plug-in, read with objdump:
#   - it exports exactly VSTPluginMain and main, under undecorated names;
#   - it needs nothing at run time beyond the system's own libraries
#     (Windows: KERNEL32 and msvcrt only, everything else linked in);
#   - on 32-bit x86 the instrument's code does no x87 arithmetic, whose
#     extended precision would round differently from the other targets.
#
# cmake -DOBJDUMP=... -DPLUGIN=... -DFORMAT=elf|pe [-DCORE_ARCHIVE=...] [-DSANITIZED=ON] -P check_binary.cmake
# (SANITIZED: the sanitizers' runtimes are allowed among the imports.)
foreach(var OBJDUMP PLUGIN FORMAT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not given")
  endif()
endforeach()

function(objdump out)
  execute_process(COMMAND ${OBJDUMP} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} ${ARGN} failed: ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(failures "")

if(FORMAT STREQUAL "elf")
  # Defined symbols of the dynamic symbol table (global or weak, not *UND*).
  objdump(dynsyms -T --wide ${PLUGIN})
  string(REPLACE "\n" ";" lines "${dynsyms}")
  set(exports "")
  foreach(line IN LISTS lines)
    if(line MATCHES "\\*UND\\*")
      continue()
    endif()
    if(line MATCHES "^[0-9a-f]+ ([gw]) .* ([^ ]+)$")
      list(APPEND exports "${CMAKE_MATCH_2}")
    endif()
  endforeach()
  objdump(headers -p ${PLUGIN})
  string(REGEX MATCHALL "NEEDED +[^\n]+" needed_lines "${headers}")
  set(imports "")
  foreach(line IN LISTS needed_lines)
    string(REGEX REPLACE "NEEDED +" "" lib "${line}")
    list(APPEND imports "${lib}")
  endforeach()
  set(allowed_imports_regex "^(libc\\.so\\.6|libm\\.so\\.6|libstdc\\+\\+\\.so\\.6|libgcc_s\\.so\\.1|ld-linux[-a-z0-9_.]*\\.so\\.[0-9]+)$")
  if(SANITIZED)
    set(allowed_imports_regex "${allowed_imports_regex}|^lib(asan|ubsan|tsan|lsan)\\.so\\.[0-9]+$")
  endif()
elseif(FORMAT STREQUAL "pe")
  objdump(headers -p ${PLUGIN})
  # Export names follow the "[Ordinal/Name Pointer] Table" heading, one per line.
  set(exports "")
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\][^\n]*\n)+)" table "${headers}")
  string(REPLACE "\n" ";" lines "${CMAKE_MATCH_1}")
  foreach(line IN LISTS lines)
    if(line MATCHES "\\[ *[0-9]+\\] +(.+)$")
      list(APPEND exports "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  string(REGEX MATCHALL "DLL Name: [^\n]+" dll_lines "${headers}")
  set(imports "")
  foreach(line IN LISTS dll_lines)
    string(REPLACE "DLL Name: " "" lib "${line}")
    list(APPEND imports "${lib}")
  endforeach()
  set(allowed_imports_regex "^(KERNEL32\\.dll|msvcrt\\.dll)$")
else()
  message(FATAL_ERROR "FORMAT must be elf or pe")
endif()

list(SORT exports)
if(NOT exports STREQUAL "VSTPluginMain;main")
  string(APPEND failures "exports are [${exports}], expected exactly [VSTPluginMain;main]\n")
endif()
if(NOT imports)
  string(APPEND failures "no imported libraries found: objdump output not understood\n")
endif()
foreach(lib IN LISTS imports)
  if(NOT lib MATCHES "${allowed_imports_regex}")
    string(APPEND failures "needs ${lib} at run time\n")
  endif()
endforeach()

if(DEFINED CORE_ARCHIVE)
  objdump(code -d --no-show-raw-insn ${CORE_ARCHIVE})
  # Loads and stores (fld, fst) carry float results across calls as the
  # 32-bit calling convention demands; anything computing on the x87 stack is
  # what must not be there.
  string(REGEX MATCHALL "\n[ \t]*[0-9a-f]+:[ \t]+f(add|sub|mul|div|sqrt|sin|cos|sincos|prem|prem1|patan|ptan|yl2x|yl2xp1|2xm1|scale|rndint|i[a-z]+|ist[a-z]*|chs|abs|u?com[a-z]*|xtract)[a-z]*[ \t][^\n]*"
         x87 "${code}")
  list(LENGTH x87 count)
  if(count GREATER 0)
    list(GET x87 0 first)
    string(STRIP "${first}" first)
    string(APPEND failures "${count} x87 arithmetic instructions in the instrument's code, e.g. ${first}\n")
  endif()
endif()

if(failures)
  message(FATAL_ERROR "${PLUGIN}:\n${failures}")
endif()
message(STATUS "${PLUGIN}: exports [${exports}], needs [${imports}]")
