# quor_add_string_table(<target> NAME <resource name> SOURCE <table.txt>)
#
# Turns a readable string table into the binary format and links it into
# every program built from <target> as a raw-data resource <resource name>.
# For a library target the resource travels to the programs that link it.

set(QUOR_STRING_TOOL_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/../platform/tools/MakeStringTable.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../platform/StringTableFormat.cpp)

function(quor_string_table_tool out)
  if(NOT CMAKE_CROSSCOMPILING)
    if(NOT TARGET MakeStringTable)
      add_executable(MakeStringTable ${QUOR_STRING_TOOL_SOURCES})
      target_include_directories(MakeStringTable PRIVATE ${PROJECT_SOURCE_DIR})
    endif()
    set(${out} MakeStringTable PARENT_SCOPE)
    return()
  endif()
  # A cross-build still runs the tool on the build machine.
  set(tool ${CMAKE_BINARY_DIR}/host-tools/MakeStringTable)
  if(NOT EXISTS ${tool})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/host-tools)
    execute_process(
      COMMAND c++ -std=c++20 -O1 -I${PROJECT_SOURCE_DIR} ${QUOR_STRING_TOOL_SOURCES} -o ${tool}
      RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "could not build MakeStringTable for the build machine")
    endif()
  endif()
  set(${out} ${tool} PARENT_SCOPE)
endfunction()

function(quor_add_string_table target)
  cmake_parse_arguments(ARG "" "NAME;SOURCE" "" ${ARGN})
  quor_string_table_tool(tool)
  set(tooldep ${tool})
  get_filename_component(source ${ARG_SOURCE} ABSOLUTE)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/strings)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(scope PRIVATE)
  else()
    set(scope INTERFACE)
  endif()
  if(WIN32)
    set(bin ${dir}/${ARG_NAME}.bin)
    add_custom_command(OUTPUT ${bin} COMMAND ${tool} --bin ${source} ${bin}
                       DEPENDS ${source} ${tooldep} VERBATIM)
    file(WRITE ${dir}/${ARG_NAME}.rc "${ARG_NAME} RCDATA \"${bin}\"\n")
    set_source_files_properties(${dir}/${ARG_NAME}.rc PROPERTIES OBJECT_DEPENDS ${bin})
    target_sources(${target} ${scope} ${dir}/${ARG_NAME}.rc)
    add_custom_target(${ARG_NAME}_table DEPENDS ${bin})
    add_dependencies(${target} ${ARG_NAME}_table)
  else()
    set(cpp ${dir}/${ARG_NAME}.cpp)
    add_custom_command(OUTPUT ${cpp} COMMAND ${tool} --cpp ${ARG_NAME} ${source} ${cpp}
                       DEPENDS ${source} ${tooldep} VERBATIM)
    target_sources(${target} ${scope} ${cpp})
    add_custom_target(${ARG_NAME}_table DEPENDS ${cpp})
    add_dependencies(${target} ${ARG_NAME}_table)
  endif()
endfunction()
