# OpenSSL's libcrypto as the target OpenSSL::Crypto: Debian's for native
# builds, and for Windows the static mingw64 build that scripts/setup caches.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)
  return()
endif()

if(DEFINED ENV{XDG_CACHE_HOME})
  set(ostrel_cache "$ENV{XDG_CACHE_HOME}/ostrel")
else()
  set(ostrel_cache "$ENV{HOME}/.cache/ostrel")
endif()
set(OSTREL_MINGW_OPENSSL "${ostrel_cache}/openssl-mingw64-current" CACHE PATH
    "OpenSSL built for mingw64 (include/ and lib/libcrypto.a)")
if(NOT EXISTS "${OSTREL_MINGW_OPENSSL}/lib/libcrypto.a")
  message(FATAL_ERROR "No OpenSSL for mingw64 at ${OSTREL_MINGW_OPENSSL}: run scripts/setup first")
endif()

add_library(OpenSSL::Crypto STATIC IMPORTED)
set_target_properties(OpenSSL::Crypto PROPERTIES
  IMPORTED_LOCATION "${OSTREL_MINGW_OPENSSL}/lib/libcrypto.a"
  INTERFACE_INCLUDE_DIRECTORIES "${OSTREL_MINGW_OPENSSL}/include"
  INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;bcrypt;user32;advapi32")
