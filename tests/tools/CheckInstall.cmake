# `cmake --install` of a build, into a scratch folder through DESTDIR: velmora
# must land in bin/ under the tool prefix and run there, the plug-ins in the
# plug-in folder; and install_manifest.txt, which the README's uninstall step
# (xargs rm < install_manifest.txt) reads, must name every file installed.
#   cmake -DBUILD=<build> -DWORK=<folder> -DTOOL_PREFIX=<prefix> -DPLUGIN_DIR=<folder>
#         -P CheckInstall.cmake

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${WORK}/root ${CMAKE_COMMAND} --install ${BUILD}
  OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

set(velmora ${WORK}/root${TOOL_PREFIX}/bin/velmora)
foreach(file ${velmora} ${WORK}/root${PLUGIN_DIR}/VelmoraGater.so ${WORK}/root${PLUGIN_DIR}/VelmoraTremolo.so)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "not installed: ${file}\n${output}")
  endif()
endforeach()
execute_process(COMMAND ${velmora} --version OUTPUT_VARIABLE version RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT version MATCHES "^velmora ")
  message(FATAL_ERROR "the installed velmora does not run: ${result} ${version}")
endif()

# install_manifest.txt names the files without DESTDIR: they are removed
# here under the scratch root, never in the real folders.
file(STRINGS ${BUILD}/install_manifest.txt installed)
foreach(file IN LISTS installed)
  file(REMOVE ${WORK}/root${file})
endforeach()
file(GLOB_RECURSE left ${WORK}/root/*)
if(left)
  message(FATAL_ERROR "the uninstall step left: ${left}")
endif()
file(REMOVE_RECURSE ${WORK})
