# The updater's build-time configuration. These cache variables are the only
# way to configure it: the built program reads no configuration at run time.

set(OSTREL_EXTENSION_ID "inmdpcjjlckfjmggcpdcmbooiogihncc" CACHE STRING
    "Id of the browser's companion extension (32 letters a to p)")
if(NOT OSTREL_EXTENSION_ID MATCHES "^[a-p]+$")
  message(FATAL_ERROR "OSTREL_EXTENSION_ID must consist of the letters a to p")
endif()
string(LENGTH "${OSTREL_EXTENSION_ID}" extension_id_length)
if(NOT extension_id_length EQUAL 32)
  message(FATAL_ERROR "OSTREL_EXTENSION_ID must be 32 letters long")
endif()
set(OSTREL_EXTENSION_ORIGIN "chrome-extension://${OSTREL_EXTENSION_ID}/")


# The Ed25519 public key that every release.sig must verify against: the
# updater's only trust anchor for its feed. 64 hex digits, or a file holding
# them as `ostrel-release keygen` writes it. Left empty, the build takes the
# project's test key, whose private half is committed for the tests; a build
# with OSTREL_REQUIRE_RELEASE_KEY (the release preset) refuses to do so.
set(OSTREL_RELEASE_PUBLIC_KEY "" CACHE STRING
    "Release public key: 64 hex digits or a file holding them; empty for the project's test key")
option(OSTREL_REQUIRE_RELEASE_KEY "Refuse to configure without an explicit release public key" OFF)

function(ostrel_read_public_key file out)
  get_filename_component(file "${file}" ABSOLUTE)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "OSTREL_RELEASE_PUBLIC_KEY is neither 64 hex digits nor an existing file: ${file}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
  file(READ "${file}" text)
  string(STRIP "${text}" text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

ostrel_read_public_key(${CMAKE_SOURCE_DIR}/tests/data/release_test_key.pub test_release_key)
if(OSTREL_RELEASE_PUBLIC_KEY STREQUAL "")
  if(OSTREL_REQUIRE_RELEASE_KEY)
    message(FATAL_ERROR "A release build needs OSTREL_RELEASE_PUBLIC_KEY: the public half of the "
                        "key that signs the feed, as 64 hex digits or a file holding them")
  endif()
  set(release_key "${test_release_key}")
elseif(OSTREL_RELEASE_PUBLIC_KEY MATCHES "^[0-9A-Fa-f]+$")
  set(release_key "${OSTREL_RELEASE_PUBLIC_KEY}")
else()
  ostrel_read_public_key("${OSTREL_RELEASE_PUBLIC_KEY}" release_key)
endif()
string(TOLOWER "${release_key}" release_key)
string(LENGTH "${release_key}" release_key_length)
if(NOT release_key MATCHES "^[0-9a-f]+$" OR NOT release_key_length EQUAL 64)
  message(FATAL_ERROR "The release public key must be 64 hex digits")
endif()
if(OSTREL_REQUIRE_RELEASE_KEY AND release_key STREQUAL test_release_key)
  message(FATAL_ERROR "OSTREL_RELEASE_PUBLIC_KEY is the project's test key, whose private half is public")
endif()
if(OSTREL_TARGET STREQUAL "wine-integration" AND (OSTREL_REQUIRE_RELEASE_KEY OR NOT release_key STREQUAL test_release_key))
  message(FATAL_ERROR "The Wine integration build reports Wine's user as LocalSystem: it takes the test key "
                      "only and can never carry a release key")
endif()

# A key off the curve or of small order is refused by the updater at run time
# (it then verifies nothing); refuse it here too, with the updater's own rule
# in release/ compiled for the build machine, since CMake cannot do the
# arithmetic. The checker is rebuilt only when its sources change.
function(ostrel_require_strong_public_key key)
  find_program(OSTREL_HOST_CXX NAMES c++ g++ REQUIRED DOC "C++ compiler of the build machine")
  set(checker ${CMAKE_BINARY_DIR}/release_public_key_check)
  set(sources ${CMAKE_SOURCE_DIR}/cmake/release_public_key_check.cpp ${CMAKE_SOURCE_DIR}/release/ed25519_public_key.cpp)
  set(stale FALSE)
  foreach(source ${sources} ${CMAKE_SOURCE_DIR}/release/ed25519_public_key.h)
    if(${source} IS_NEWER_THAN ${checker})
      set(stale TRUE)
    endif()
  endforeach()
  if(stale)
    execute_process(COMMAND ${OSTREL_HOST_CXX} -std=c++20 -I${CMAKE_SOURCE_DIR} ${sources} -lcrypto -o ${checker}
                    RESULT_VARIABLE failed ERROR_VARIABLE errors)
    if(failed)
      message(FATAL_ERROR "Cannot build the check of the release public key:\n${errors}")
    endif()
  endif()
  execute_process(COMMAND ${checker} ${key} RESULT_VARIABLE weak)
  if(weak)
    message(FATAL_ERROR "The release public key is not a usable Ed25519 key: off the curve, or of small order")
  endif()
endfunction()
ostrel_require_strong_public_key(${release_key})
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " OSTREL_RELEASE_PUBLIC_KEY_BYTES "${release_key}")

set(OSTREL_UPDATE_HOST "localhost" CACHE STRING
    "Host name of the update server; localhost is the local test feed (tests/feed)")
if(NOT OSTREL_UPDATE_HOST MATCHES "^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$")
  message(FATAL_ERROR "OSTREL_UPDATE_HOST must be a host name")
endif()
# A release build talks to the real feed only: not to this machine, and not to
# a bare address, which no certificate of the feed's name covers. No top-level
# domain is numeric, so a numeric last label (127.0.0.1, 2130706433, 0x7f.1)
# is an address, however the system's resolver would read it.
string(TOLOWER "${OSTREL_UPDATE_HOST}" update_host)
if(OSTREL_REQUIRE_RELEASE_KEY AND update_host MATCHES "(^|\\.)localhost$|(^|\\.)(0x[0-9a-f]*|[0-9]+)$")
  message(FATAL_ERROR "OSTREL_UPDATE_HOST must name the feed's server, not this machine or an address: "
                      "${OSTREL_UPDATE_HOST}")
endif()

set(OSTREL_LEGACY_UNINSTALL_GUID "6f0c2a1e-5d4b-4c7a-9e3f-2b8d1a7c4e90" CACHE STRING
    "GUID of the legacy installation's uninstall registration: 36 lower-case characters, no braces")
string(REPEAT "[0-9a-f]" 4 hex4)
if(NOT OSTREL_LEGACY_UNINSTALL_GUID MATCHES "^${hex4}${hex4}-${hex4}-${hex4}-${hex4}-${hex4}${hex4}${hex4}$")
  message(FATAL_ERROR "OSTREL_LEGACY_UNINSTALL_GUID must be a GUID in lower case without braces")
endif()

configure_file(${CMAKE_CURRENT_LIST_DIR}/build_configuration.h.in
               ${CMAKE_BINARY_DIR}/generated/build_configuration.h @ONLY)

# The header above, for the targets whose code reads the configuration.
add_library(ostrel_build_configuration INTERFACE)
target_include_directories(ostrel_build_configuration INTERFACE ${CMAKE_BINARY_DIR}/generated)

# The updater's own version, which its version resource carries for
# Explorer's properties and inventory tools: one to four numbers from 0 to
# 65535, dot-separated, as the resource's binary fields hold them.
set(OSTREL_UPDATER_VERSION "${PROJECT_VERSION}" CACHE STRING
    "Version of OstrelUpdate.exe itself: one to four numbers from 0 to 65535, dot-separated")
if(NOT OSTREL_UPDATER_VERSION MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
  message(FATAL_ERROR "OSTREL_UPDATER_VERSION must be one to four numbers, dot-separated: ${OSTREL_UPDATER_VERSION}")
endif()
string(REPLACE "." ";" updater_version_numbers "${OSTREL_UPDATER_VERSION}")
foreach(number ${updater_version_numbers})
  if(number GREATER 65535)
    message(FATAL_ERROR "OSTREL_UPDATER_VERSION's numbers must be at most 65535: ${OSTREL_UPDATER_VERSION}")
  endif()
endforeach()
list(LENGTH updater_version_numbers updater_version_length)
while(updater_version_length LESS 4)
  list(APPEND updater_version_numbers 0)
  math(EXPR updater_version_length "${updater_version_length} + 1")
endwhile()
# The resource's binary form: four comma-separated numbers.
string(REPLACE ";" "," OSTREL_UPDATER_VERSION_NUMBERS "${updater_version_numbers}")
