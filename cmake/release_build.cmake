# The Linux release builds, the ones the .deb and the .tar.gz are made from.
#
# Hardened as Debian expects of a packaged program: fortified string and memory calls, a stack
# protector, the relocation tables read-only once loaded (full RELRO with immediate binding) and
# a position-independent executable, in the Release configuration, the one that is shipped.
# (_FORTIFY_SOURCE needs optimisation: without it glibc 2.36's headers quietly set
# __USE_FORTIFY_LEVEL to 0.)
#
# The portable build (CORVANE_PORTABLE, for the .tar.gz) links everything in, the C library
# included, so that it needs nothing from the system it runs on: linked to the system's libraries
# the programs need glibc 2.34 and libstdc++'s GLIBCXX_3.4.29, and with only the C++ runtime
# linked in, glibc 2.36 (the runtime's own references, see "Release archives" in the README).
option(CORVANE_PORTABLE "Link the Linux programs statically, so that they run on any x86-64 Linux"
       OFF)
if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

block()
  set(release "$<CONFIG:Release>")
  # A compiler that defines _FORTIFY_SOURCE already warns when it is defined again, and
  # warnings are errors here; undefined first, it takes the new value quietly.
  add_compile_options(
    "$<${release}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2;-fstack-protector-strong>")
  add_link_options("$<${release}:LINKER:-z,relro,-z,now>")
endblock()

if(CORVANE_PORTABLE)
  # Static and position-independent at once. CMake's own flags for a position-independent
  # executable come last on the link line and would make it dynamic again, so they are not used.
  add_compile_options(-fPIE)
  add_link_options(-static-pie)
else()
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()
