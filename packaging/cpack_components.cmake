# Read by cpack once per generator: which install components each archive holds (see
# CMakeLists.txt beside this file).
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL Unspecified debian)
else()
  set(CPACK_COMPONENTS_ALL Unspecified licence)
  # Unpacked, the archive makes one folder named after itself, as the README's commands expect.
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
