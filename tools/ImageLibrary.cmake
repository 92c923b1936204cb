# zal_fwimage: the image tools' library (checks with reasons, test images, packing,
# whole-file reads and writes) over the format's home, zal_image_format. Included
# by tools/CMakeLists.txt for the build's own platform (the test programs link
# it) and by the host project tools/host for fwgen and fwpack.
add_library(zal_fwimage STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ImageChecks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TestImage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PackedProgram.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileBytes.cpp)
target_include_directories(zal_fwimage PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zal_fwimage PUBLIC zal_image_format PRIVATE zal_warnings)
