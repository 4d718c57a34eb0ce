# quor_host_tool(<name> <out-var> SOURCES <files>...)
#
# A build step's program, run on the build machine: a target of this build
# natively; in a cross-build, compiled once at configure time with the build
# machine's c++ into <build>/host-tools. <out-var> names what to run.
function(quor_host_tool name out)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  if(NOT CMAKE_CROSSCOMPILING)
    if(NOT TARGET ${name})
      add_executable(${name} ${ARG_SOURCES})
      target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    endif()
    set(${out} ${name} PARENT_SCOPE)
    return()
  endif()
  set(tool ${CMAKE_BINARY_DIR}/host-tools/${name})
  if(NOT EXISTS ${tool})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/host-tools)
    execute_process(
      COMMAND c++ -std=c++20 -O1 -I${PROJECT_SOURCE_DIR} ${ARG_SOURCES} -o ${tool}
      RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "could not build ${name} for the build machine")
    endif()
  endif()
  set(${out} ${tool} PARENT_SCOPE)
endfunction()
