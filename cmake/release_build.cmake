# The Linux release build, the one the .deb and the .tar.gz are made from.
#
# Hardened as Debian expects of a packaged program: fortified string and memory calls, a stack
# protector, the relocation tables read-only once loaded (full RELRO with immediate binding) and
# a position-independent executable, in the Release configuration, the one that is shipped.
# (_FORTIFY_SOURCE needs optimisation: without it glibc 2.36's headers quietly set
# __USE_FORTIFY_LEVEL to 0.)
#
# The C++ runtime (libstdc++ and libgcc) is linked in, so that the archive needs no libstdc++
# from the system, only glibc. The runtime itself raises the glibc it needs to the build
# machine's (see "Release archives" in the README).
if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

block()
  set(release "$<CONFIG:Release>")
  # A compiler that defines _FORTIFY_SOURCE already warns when it is defined again, and
  # warnings are errors here; undefined first, it takes the new value quietly.
  add_compile_options(
    "$<${release}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2;-fstack-protector-strong>")
  add_link_options("$<${release}:LINKER:-z,relro,-z,now;-static-libstdc++;-static-libgcc>")
endblock()
