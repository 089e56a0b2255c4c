# Every flavour links with lld when the compiler can drive it: GNU ld spends most of a link of the
# big sanitizer-built suites resolving relocations one thread at a time, lld a fraction of that.
option(ML_LLD "Link with lld when the compiler accepts -fuse-ld=lld" ON)
if(ML_LLD)
  include(CheckLinkerFlag)
  check_linker_flag(CXX -fuse-ld=lld ML_HAVE_LLD)
  if(ML_HAVE_LLD)
    add_link_options(-fuse-ld=lld)
  endif()
endif()
