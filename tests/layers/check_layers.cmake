# Builds sources that include a header of one layer within other layers:
# within a layer above it they must compile, within a layer below (or beside)
# it they must fail, and for the include alone. The probes:
#   tree_include.cpp    a tree header: compiles in xml; fails in text, syntax
#   syntax_include.cpp  a syntax header: compiles in xml; fails in text, os
# Usage:
#   cmake -DBUILD_DIR=<build tree> [-DCONFIG=<config>] -P check_layers.cmake
set(config_args)
if(CONFIG)
  set(config_args --config ${CONFIG})
endif()

function(build_probe target result_var output_var)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} ${config_args} --target ${target}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${result_var} ${result} PARENT_SCOPE)
  set(${output_var} "${output}" PARENT_SCOPE)
endfunction()

function(expect_compiles target header)
  build_probe(${target} result output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${header} does not compile even where it may be included (${target}):\n${output}")
  endif()
endfunction()

function(expect_missing target header)
  build_probe(${target} result output)
  if(result EQUAL 0)
    message(FATAL_ERROR "${target} included ${header} from a layer below it and compiled:\n${output}")
  endif()
  # GCC: "tree/wstr_buf.h: No such file or directory"; clang: "'tree/wstr_buf.h' file not found".
  string(REPLACE "." "\\." pattern "${header}")
  if(NOT output MATCHES "${pattern}'?:? (No such file or directory|file not found)")
    message(FATAL_ERROR "${target} failed, but not for the include of ${header}:\n${output}")
  endif()
endfunction()

expect_compiles(kelmo_layer_probe_above tree/wstr_buf.h)
expect_missing(kelmo_layer_probe_below tree/wstr_buf.h)
expect_missing(kelmo_layer_probe_syntax_to_tree tree/wstr_buf.h)
expect_compiles(kelmo_layer_probe_syntax_above syntax/char_classes.h)
expect_missing(kelmo_layer_probe_text_to_syntax syntax/char_classes.h)
expect_missing(kelmo_layer_probe_os_to_syntax syntax/char_classes.h)
message(STATUS "No include runs from a layer to one above it (or beside it).")
