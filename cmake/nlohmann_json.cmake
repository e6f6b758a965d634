# nlohmann-json, header-only, as the target nlohmann_json::nlohmann_json.
# Natively it is Debian's package. The cross build takes the same headers
# through a directory that holds nothing but a link to them: adding the
# system's include directory itself would put Linux headers before mingw's.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(nlohmann_json 3 REQUIRED)
  return()
endif()

find_path(OSTREL_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT OSTREL_NLOHMANN_JSON_INCLUDE)
  message(FATAL_ERROR "nlohmann/json.hpp not found: run scripts/setup first")
endif()
set(nlohmann_only ${CMAKE_BINARY_DIR}/nlohmann_json/include)
file(MAKE_DIRECTORY ${nlohmann_only})
file(CREATE_LINK ${OSTREL_NLOHMANN_JSON_INCLUDE}/nlohmann ${nlohmann_only}/nlohmann SYMBOLIC)

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${nlohmann_only})
