# Warnings are errors in our own code. Call vor_warnings(target) on every target we write.
function(vor_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wnull-dereference
    -Wimplicit-fallthrough -Werror
    # g++ 12 at -O3 reports overlapping copies inside std::string that cannot happen
    # (a known false positive of its -Wrestrict); it would break Release builds only.
    $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
endfunction()
