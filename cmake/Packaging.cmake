# Installing and packaging the two plug-ins.
#
# `cmake --install <build>` copies VelmoraGater and VelmoraTremolo into a
# folder that hosts scan for VST 2 plug-ins. The folder is the install
# prefix; when none is given it is:
#   Linux builds              ~/.vst
#   Windows builds on Windows %LOCALAPPDATA%/Programs/VSTPlugins
#   Windows cross builds      <build>/vst  (copy its contents to the Windows machine)
# Any other folder: `cmake --install <build> --prefix <folder>`, or configure
# with -DCMAKE_INSTALL_PREFIX=<folder>.
#
# The LV2, VST3 and CLAP plug-ins (formats/) go into their formats' own
# folders, each a cache variable (absolute paths, so --prefix leaves them):
#                  VELMORA_LV2_DIR  VELMORA_VST3_DIR                        VELMORA_CLAP_DIR
#   Linux          ~/.lv2           ~/.vst3                                 ~/.clap
#   Windows        -                %LOCALAPPDATA%/Programs/Common/VST3     %LOCALAPPDATA%/Programs/Common/CLAP
#   Windows cross  -                <build>/vst3                            <build>/clap
#
# `cmake --build <build> --target package` makes one archive for the
# platform of the build (.tar.gz on Linux, .zip on Windows) holding the two
# VST 2 plug-ins, the other formats in folders lv2/, vst3/ and clap/, and a
# short readme, e.g. Velmora-1.0.0-Windows-x64.zip.
#
# The command-line host velmora (Linux builds only) is installed into
# VELMORA_TOOL_PREFIX/bin: by default ~/.local/bin, which is on a Linux
# user's PATH; the archives carry it as bin/velmora. `cmake --install
# --prefix` moves only the plug-ins; configure with
# -DVELMORA_TOOL_PREFIX=<folder> to move velmora too.

if(NOT TARGET velmora_gater OR NOT TARGET velmora_tremolo)
  return()
endif()

# The platform name used in the archive's name and in its readme.
if(WIN32)
  set(VELMORA_PACKAGE_SYSTEM Windows)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VELMORA_PACKAGE_ARCH x64)
  else()
    set(VELMORA_PACKAGE_ARCH x86)
  endif()
  set(VELMORA_PLUGIN_SUFFIX .dll)
else()
  set(VELMORA_PACKAGE_SYSTEM Linux)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VELMORA_PACKAGE_ARCH x86_64)
  else()
    set(VELMORA_PACKAGE_ARCH i386)
  endif()
  set(VELMORA_PLUGIN_SUFFIX .so)
endif()

# Where the user's plug-in folders are: <root><VST 2 folder>, and
# <root><formats' prefix><format> for the others.
if(NOT WIN32 AND DEFINED ENV{HOME})
  set(user_plugin_root "$ENV{HOME}/.")
  set(vst_folder vst)
  set(format_prefix "")
elseif(WIN32 AND CMAKE_HOST_WIN32 AND DEFINED ENV{LOCALAPPDATA})
  file(TO_CMAKE_PATH "$ENV{LOCALAPPDATA}/Programs/" user_plugin_root)
  set(vst_folder VSTPlugins)
  set(format_prefix Common/)
else()
  set(user_plugin_root "${CMAKE_BINARY_DIR}/")
  set(vst_folder vst)
  set(format_prefix "")
endif()

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX "${user_plugin_root}${vst_folder}" CACHE PATH
      "Folder into which `cmake --install` puts the plug-ins (a folder your VST host scans)" FORCE)
endif()

# The plug-ins go straight into the folder: hosts scan it for plug-in files.
install(TARGETS velmora_gater velmora_tremolo
  LIBRARY DESTINATION . COMPONENT plugins
  RUNTIME DESTINATION . COMPONENT plugins)

# Each other format into its own folder (component `formats`), and into the
# archive as <format>/... (component `formats-archive`).
get_property(format_targets GLOBAL PROPERTY VELMORA_FORMAT_TARGETS)
foreach(target IN LISTS format_targets)
  get_target_property(format ${target} VELMORA_FORMAT)
  get_target_property(subdir ${target} VELMORA_FORMAT_SUBDIR)
  get_target_property(files ${target} VELMORA_BUNDLE_FILES)
  string(TOUPPER ${format} upper)
  set(folder_name ${format})
  if(WIN32 AND CMAKE_HOST_WIN32)
    set(folder_name ${upper})
  endif()
  set(VELMORA_${upper}_DIR "${user_plugin_root}${format_prefix}${folder_name}" CACHE PATH "Folder into which `cmake --install` puts the ${upper} plug-ins")
  install(TARGETS ${target} LIBRARY DESTINATION ${VELMORA_${upper}_DIR}/${subdir} COMPONENT formats)
  install(TARGETS ${target} LIBRARY DESTINATION ${format}/${subdir} COMPONENT formats-archive EXCLUDE_FROM_ALL)
  if(files)
    install(FILES ${files} DESTINATION ${VELMORA_${upper}_DIR}/${subdir} COMPONENT formats)
    install(FILES ${files} DESTINATION ${format}/${subdir} COMPONENT formats-archive EXCLUDE_FROM_ALL)
  endif()
endforeach()
# The notice of the third-party code that those plug-ins contain.
if(format_targets)
  install(FILES ${PROJECT_SOURCE_DIR}/THIRD-PARTY.md DESTINATION . COMPONENT readme EXCLUDE_FROM_ALL)
endif()

# The readme goes into the archive only, not into the host's plug-in folder.
set(VELMORA_PACKAGE_README ${CMAKE_BINARY_DIR}/packaging/README.txt)
if(WIN32)
  set(readme_newlines WIN32)
else()
  set(readme_newlines UNIX)
endif()
configure_file(${PROJECT_SOURCE_DIR}/packaging/README-${VELMORA_PACKAGE_SYSTEM}.txt.in
  ${VELMORA_PACKAGE_README} @ONLY NEWLINE_STYLE ${readme_newlines})
install(FILES ${VELMORA_PACKAGE_README} DESTINATION . COMPONENT readme EXCLUDE_FROM_ALL)

# velmora: its own prefix, since the install prefix is the plug-in folder.
set(VELMORA_TOOL_COMPONENTS "")
set(VELMORA_TOOL_ARCHIVE_FILES "")
if(TARGET velmora)
  if(DEFINED ENV{HOME})
    set(default_tool_prefix "$ENV{HOME}/.local")
  else()
    set(default_tool_prefix "${CMAKE_BINARY_DIR}/tool")
  endif()
  set(VELMORA_TOOL_PREFIX "${default_tool_prefix}" CACHE PATH
      "Folder under whose bin/ `cmake --install` puts velmora")
  install(TARGETS velmora RUNTIME DESTINATION "${VELMORA_TOOL_PREFIX}/bin" COMPONENT tool)
  install(TARGETS velmora RUNTIME DESTINATION bin COMPONENT tool-archive EXCLUDE_FROM_ALL)
  set(VELMORA_TOOL_COMPONENTS tool-archive)
  set(VELMORA_TOOL_ARCHIVE_FILES "$<SEMICOLON>bin/velmora")
endif()

set(CPACK_PACKAGE_NAME Velmora)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "VelmoraGater and VelmoraTremolo, stereo effects as VST 2, LV2, VST3 and CLAP plug-ins")
set(CPACK_PACKAGE_FILE_NAME
    "Velmora-${PROJECT_VERSION}-${VELMORA_PACKAGE_SYSTEM}-${VELMORA_PACKAGE_ARCH}")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
# One archive with a top folder named like the archive, holding the
# plug-ins and the readme.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_ALL plugins formats-archive readme ${VELMORA_TOOL_COMPONENTS})
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_ARCHIVE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# The archives carry stripped plug-ins (the exported `main` stays).
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
