# Version resources for the Windows files: what Explorer's file properties,
# installers and GetFileVersionInfoW read. The numbers and the strings come
# from the project's version and LICENSE, so every file of one build carries
# the same version.
enable_language(RC)

# The copyright line of LICENSE, as the resource's LegalCopyright.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE KELMO_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT KELMO_COPYRIGHT)
  message(FATAL_ERROR "LICENSE has no line starting with \"Copyright \"")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

# kelmo_version_resource(TARGET FILE_TYPE DESCRIPTION): compiles a version
# resource into TARGET. FILE_TYPE is VFT_DLL or VFT_APP.
function(kelmo_version_resource target file_type description)
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  get_target_property(prefix ${target} PREFIX)
  if(NOT prefix)
    set(prefix "")
  endif()
  if(file_type STREQUAL "VFT_DLL")
    set(KELMO_RC_FILE_NAME "${prefix}${output_name}.dll")
  else()
    set(KELMO_RC_FILE_NAME "${prefix}${output_name}.exe")
  endif()
  set(KELMO_RC_FILE_TYPE ${file_type})
  set(KELMO_RC_INTERNAL_NAME ${output_name})
  set(KELMO_RC_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version_resource.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
