# What the resource scripts of both programs take from the build: the release
# version (ZalVersion.h, from the project's version) and the application
# manifests (resources/*/*.manifest.in, which carry the same version).
#
# zal_program_resources(DIRECTORY RC MANIFEST)
#   The resource script RC of the targets in DIRECTORY (booktype, flash) finds the
#   generated version header and manifest, and is compiled again when they change.
#   Called after add_subdirectory(DIRECTORY).

set(ZAL_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
set(ZAL_RESOURCES_GENERATED ${CMAKE_BINARY_DIR}/generated/resources)
configure_file(${CMAKE_SOURCE_DIR}/cmake/ZalVersion.h.in ${ZAL_RESOURCES_GENERATED}/ZalVersion.h
               @ONLY)

function(zal_program_resources directory rc manifest)
  get_filename_component(name ${manifest} NAME_WLE)
  set(generated ${ZAL_RESOURCES_GENERATED}/${name})
  configure_file(${manifest} ${generated} @ONLY)
  set_source_files_properties(${rc} DIRECTORY ${CMAKE_SOURCE_DIR}/${directory}
    PROPERTIES INCLUDE_DIRECTORIES ${ZAL_RESOURCES_GENERATED}
               OBJECT_DEPENDS "${ZAL_RESOURCES_GENERATED}/ZalVersion.h;${generated}")
endfunction()
