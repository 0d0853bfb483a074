# The Linux release build, the one the .deb and the .tar.gz are made from.
#
# Hardened as Debian expects of a packaged program: fortified string and memory calls, a stack
# protector, the relocation tables read-only once loaded (full RELRO with immediate binding) and
# a position-independent executable. _FORTIFY_SOURCE needs optimisation, and the sanitizer
# builds are not optimised, which is why only the Release configuration gets it.
#
# The C++ runtime (libstdc++ and libgcc) is linked in, so that the archive runs on systems whose
# libstdc++ is older than the build machine's; only glibc is needed from the system.
if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

block()
  set(release "$<CONFIG:Release>")
  # Some compilers define _FORTIFY_SOURCE themselves; redefining it without -U is a warning.
  add_compile_options(
    "$<${release}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2;-fstack-protector-strong>")
  add_link_options("$<${release}:LINKER:-z,relro,-z,now;-static-libstdc++;-static-libgcc>")
endblock()
