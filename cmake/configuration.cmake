# The updater's build-time configuration. These cache variables are the only
# way to configure it: the built program reads no configuration at run time.

set(OSTREL_EXTENSION_ID "ndgikfklpchdbaidjfoipkehcghbikgn" CACHE STRING
    "Id of the browser's companion extension (32 letters a to p)")
if(NOT OSTREL_EXTENSION_ID MATCHES "^[a-p]+$")
  message(FATAL_ERROR "OSTREL_EXTENSION_ID must consist of the letters a to p")
endif()
string(LENGTH "${OSTREL_EXTENSION_ID}" extension_id_length)
if(NOT extension_id_length EQUAL 32)
  message(FATAL_ERROR "OSTREL_EXTENSION_ID must be 32 letters long")
endif()
set(OSTREL_EXTENSION_ORIGIN "chrome-extension://${OSTREL_EXTENSION_ID}/")

configure_file(${CMAKE_CURRENT_LIST_DIR}/build_configuration.h.in
               ${CMAKE_BINARY_DIR}/generated/build_configuration.h @ONLY)
