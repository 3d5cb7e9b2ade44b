include_guard(GLOBAL)

# Our own code builds with warnings as errors; third-party headers come in as
# system includes through their imported targets and are not affected.
add_library(kqa_warnings INTERFACE)
target_compile_options(kqa_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wimplicit-fallthrough -Wformat=2 -Werror)
