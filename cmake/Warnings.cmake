# Project-wide warning flags, applied per target with tessarin_set_warnings().
function(tessarin_set_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wformat=2
    -Wimplicit-fallthrough
    # GCC 12 reports a false free-nonheap-object for unique_ptr<T[]> held in a
    # std::variant that is moved through a type-erased callable (GCC PR 105705).
    -Wno-free-nonheap-object
    # ...and a false restrict overlap in std::string concatenation at -O3 (GCC PR 105329).
    -Wno-restrict)
  if(TESSARIN_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
