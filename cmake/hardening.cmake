# The hardening a Debian package is expected to carry, for every program of
# the POSIX build: fortified C library calls where the compiler optimises
# (the checks need it), a stack protector, position-independent executables,
# and relocations read-only before main runs (full RELRO with immediate
# binding).
add_compile_options(-fstack-protector-strong
  "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
add_link_options(-Wl,-z,relro,-z,now)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()
