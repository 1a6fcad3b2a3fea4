# The header-only libraries (the JSON library, the TOML library) in a cross build: Debian
# installs them for the build machine, in /usr/include. Their headers are just as good for
# Windows, but /usr/include itself must never reach the cross compiler (its C library headers
# would shadow mingw-w64's), so each library is linked into a folder of its own here and
# offered as find_package and find_path expect it.
set(VOR_HOST_HEADERS ${PROJECT_BINARY_DIR}/host-headers)
foreach(library nlohmann toml++)
  if(NOT IS_DIRECTORY /usr/include/${library})
    message(FATAL_ERROR "/usr/include/${library} is missing (scripts/install-deps.sh installs it)")
  endif()
  file(MAKE_DIRECTORY ${VOR_HOST_HEADERS}/include)
  file(CREATE_LINK /usr/include/${library} ${VOR_HOST_HEADERS}/include/${library} SYMBOLIC)
endforeach()

set(package ${VOR_HOST_HEADERS}/nlohmann_json)
file(WRITE ${package}/nlohmann_jsonConfig.cmake
  "if(NOT TARGET nlohmann_json::nlohmann_json)\n"
  "  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)\n"
  "  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES\n"
  "    INTERFACE_INCLUDE_DIRECTORIES ${VOR_HOST_HEADERS}/include)\n"
  "endif()\n")
# Its version, from the header that defines it (3.11 moved it out of json.hpp).
set(json_version_header /usr/include/nlohmann/detail/abi_macros.hpp)
if(NOT EXISTS ${json_version_header})
  set(json_version_header /usr/include/nlohmann/json.hpp)
endif()
file(STRINGS ${json_version_header} json_version_lines REGEX "#define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) ")
set(json_version "")
foreach(part MAJOR MINOR PATCH)
  string(REGEX MATCH "VERSION_${part} +([0-9]+)" ignored "${json_version_lines}")
  list(APPEND json_version ${CMAKE_MATCH_1})
endforeach()
list(JOIN json_version "." json_version)
file(WRITE ${package}/nlohmann_jsonConfigVersion.cmake
  "set(PACKAGE_VERSION ${json_version})\n"
  "if(PACKAGE_FIND_VERSION VERSION_GREATER PACKAGE_VERSION)\n"
  "  set(PACKAGE_VERSION_COMPATIBLE FALSE)\n"
  "else()\n"
  "  set(PACKAGE_VERSION_COMPATIBLE TRUE)\n"
  "endif()\n")
set(nlohmann_json_DIR ${package} CACHE PATH "The JSON library, headers only" FORCE)
set(TOMLPP_INCLUDE_DIR ${VOR_HOST_HEADERS}/include CACHE PATH "The TOML library, headers only" FORCE)
