# Where the CLAP 1.1 headers (clap/) and VST3's C interface (travesty/)
# are: Debian's dpf-source carries both. The plug-ins of those formats
# (formats/) and the test hosts (host/) include them from here.
set(VELMORA_FORMAT_HEADERS_DIR /usr/share/dpf/distrho/src CACHE PATH
    "Folder holding the CLAP (clap/) and VST3 (travesty/) headers (Debian package dpf-source)")
if(EXISTS ${VELMORA_FORMAT_HEADERS_DIR}/clap/entry.h AND EXISTS ${VELMORA_FORMAT_HEADERS_DIR}/travesty/base.h)
  set(VELMORA_FORMAT_HEADERS_FOUND TRUE)
else()
  set(VELMORA_FORMAT_HEADERS_FOUND FALSE)
endif()
