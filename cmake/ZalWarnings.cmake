# zal_warnings: the warning level of every target of the project, and of the host
# project of the image tools (tools/host), which includes this file on its own.
add_library(zal_warnings INTERFACE)
if(MSVC)
  target_compile_options(zal_warnings INTERFACE /W4 $<$<BOOL:${ZAL_WERROR}>:/WX>)
  target_compile_definitions(zal_warnings INTERFACE _CRT_SECURE_NO_WARNINGS)
else()
  target_compile_options(zal_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wcast-qual
    -Wformat=2 -Wundef -Wnon-virtual-dtor -Woverloaded-virtual -Wmissing-declarations
    $<$<BOOL:${ZAL_WERROR}>:-Werror>)
endif()
