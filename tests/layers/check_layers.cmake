# Builds the same source, which includes a tree header, within the xml layer
# (above the tree: it must compile) and within the text layer (below it: it
# must fail, and for the include alone). Usage:
#   cmake -DBUILD_DIR=<build tree> [-DCONFIG=<config>] -P check_layers.cmake
set(config_args)
if(CONFIG)
  set(config_args --config ${CONFIG})
endif()

execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} ${config_args} --target kelmo_layer_probe_above
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "The tree header does not compile even where it may be included:\n${output}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} ${config_args} --target kelmo_layer_probe_below
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0)
  message(FATAL_ERROR "A text-layer source included a tree header and compiled:\n${output}")
endif()
# GCC: "tree/wstr_buf.h: No such file or directory"; clang: "'tree/wstr_buf.h' file not found".
if(NOT output MATCHES "tree/wstr_buf\\.h'?:? (No such file or directory|file not found)")
  message(FATAL_ERROR "The text-layer build failed, but not for the include:\n${output}")
endif()
message(STATUS "An include from the text layer up to the tree does not compile.")
