# The `package` target's archive: built into a scratch folder, it must be
# the one archive named for the platform and hold exactly the two plug-ins
# and the readme, under one top folder of the same name.
#   cmake -DCPACK=<cpack> -DCONFIG=<CPackConfig.cmake> -DWORK=<folder>
#         -DNAME=<archive name without extension> -DEXTENSION=<.tar.gz|.zip>
#         -DFILES=<file;file...> -P CheckPackage.cmake

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CPACK} --config ${CONFIG} -B ${WORK}
  OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed (${result}):\n${output}")
endif()

file(GLOB archives RELATIVE ${WORK} ${WORK}/*.tar.gz ${WORK}/*.zip)
if(NOT archives STREQUAL "${NAME}${EXTENSION}")
  message(FATAL_ERROR "archives made: '${archives}', expected '${NAME}${EXTENSION}'")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${WORK}/${NAME}${EXTENSION}
  OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot list ${NAME}${EXTENSION}")
endif()
string(REPLACE "\n" ";" entries "${listing}")
set(files "")
foreach(entry IN LISTS entries)
  if(entry AND NOT entry MATCHES "/$")
    list(APPEND files "${entry}")
  endif()
endforeach()
list(SORT files)
set(expected "")
foreach(file IN LISTS FILES)
  list(APPEND expected "${NAME}/${file}")
endforeach()
list(SORT expected)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "the archive holds '${files}', expected '${expected}'")
endif()
file(REMOVE_RECURSE ${WORK})
message(STATUS "${NAME}${EXTENSION}: ${files}")
