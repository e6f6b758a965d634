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
# Always the build that scripts/setup keeps current, never a path remembered
# by an older configuration, so every build links the same library.
set(mingw_openssl "${ostrel_cache}/openssl-mingw64-current")
if(NOT EXISTS "${mingw_openssl}/lib/libcrypto.a")
  message(FATAL_ERROR "No OpenSSL for mingw64 at ${mingw_openssl}: run scripts/setup first")
endif()

add_library(OpenSSL::Crypto STATIC IMPORTED)
set_target_properties(OpenSSL::Crypto PROPERTIES
  IMPORTED_LOCATION "${mingw_openssl}/lib/libcrypto.a"
  INTERFACE_INCLUDE_DIRECTORIES "${mingw_openssl}/include"
  INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;bcrypt;user32;advapi32")
