# LLVM's lld where the compiler can use it: it links the test executables in
# about a third of the CPU time of the default ld.bfd (measured on the debug
# build's cli_tests and quillarc). Not for the cross build, whose MinGW
# toolchain keeps its own linker.
option(QUILLARC_LLD "Link with lld where it is installed" ON)
if(QUILLARC_LLD AND NOT CMAKE_CROSSCOMPILING)
  include(CheckLinkerFlag)
  check_linker_flag(CXX -fuse-ld=lld QUILLARC_HAVE_LLD)
  if(QUILLARC_HAVE_LLD)
    add_link_options(-fuse-ld=lld)
  endif()
endif()
