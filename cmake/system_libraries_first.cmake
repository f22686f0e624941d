# The dynamic loader looks up every symbol it binds in the program's libraries, in the order of
# the program's list of needed libraries and then of theirs. The C and C++ runtimes supply
# nearly half of the symbols a run binds, yet come last in that list, so that each lookup
# passed some twenty libraries of the text and image stacks first. Naming them first lets it
# find them early. Maths still comes before C (both define a few of the same functions) and
# no other library of the program defines what they do, so every symbol binds to the same
# definition as before (`LD_DEBUG=bindings` lists the same 8,048 bindings for a run of the
# 30-block page); only the search is shorter. Left out where the runtimes have other names and
# with the sanitizers, whose runtime must come first.
include(CheckCXXSourceCompiles)

set(LF_RUNTIMES_FIRST_OPTIONS
    "LINKER:--push-state,--no-as-needed"
    "LINKER:-l:libstdc++.so.6,-l:libm.so.6,-l:libc.so.6,-l:libgcc_s.so.1"
    "LINKER:--pop-state")
if(NOT DEFINED LF_RUNTIMES_FIRST_LINK)
  set(CMAKE_REQUIRED_LINK_OPTIONS ${LF_RUNTIMES_FIRST_OPTIONS})
  check_cxx_source_compiles("int main() { return 0; }" LF_RUNTIMES_FIRST_LINK)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
endif()

function(lf_runtimes_first target)
  if(LF_RUNTIMES_FIRST_LINK AND NOT LF_SANITIZE AND NOT LF_SANITIZE_THREAD AND NOT LF_FUZZ)
    target_link_options(${target} PRIVATE ${LF_RUNTIMES_FIRST_OPTIONS})
  endif()
endfunction()
