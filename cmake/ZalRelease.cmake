# The release archive: CPack's ZIP of what `cmake --install` gathers (discmode.exe,
# the packed drvflash.exe) and, in a build that packs the drive's firmware image
# (ZAL_FIRMWARE_IMAGE), README.txt and SHA256SUMS.txt (cmake/ZalReleaseFiles.cmake),
# all in one folder named after the archive. scripts/release.sh judges the image,
# builds and runs cpack.
# cpack packs what the build made: the release script has dated the files by then,
# and a build run again from cpack would make them anew.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME zal-drive-tools-${PROJECT_VERSION})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)

function(zal_release_files)
  if(NOT ZAL_FIRMWARE_IMAGE OR NOT TARGET drvflash_packed)
    return()
  endif()
  set(out ${CMAKE_BINARY_DIR}/release-files)
  get_filename_component(image_name ${ZAL_FIRMWARE_IMAGE} NAME)
  set(template ${CMAKE_SOURCE_DIR}/resources/release/README.txt.in)
  add_custom_command(OUTPUT ${out}/README.txt ${out}/SHA256SUMS.txt
    COMMAND ${CMAKE_COMMAND} -DFWPACK=$<TARGET_FILE:fwpack> -DTEMPLATE=${template}
            -DOUTPUT_DIR=${out} -DBIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
            -DIMAGE_NAME=${image_name} -DVERSION=${PROJECT_VERSION}
            -P ${CMAKE_SOURCE_DIR}/cmake/ZalReleaseFiles.cmake
    DEPENDS ${CMAKE_BINARY_DIR}/firmware/drvflash-packed.stamp discmode ${template}
            ${CMAKE_SOURCE_DIR}/cmake/ZalReleaseFiles.cmake
    COMMENT "Writing README.txt and SHA256SUMS.txt of the release")
  add_custom_target(release_files ALL DEPENDS ${out}/README.txt ${out}/SHA256SUMS.txt)
  add_dependencies(release_files drvflash_packed)
  install(FILES ${out}/README.txt ${out}/SHA256SUMS.txt DESTINATION .)
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL zal_release_files)
