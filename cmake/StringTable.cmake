# quor_add_string_table(<target> NAME <resource name> SOURCE <table.txt>)
#
# Turns a readable string table into the binary format and links it into
# every program built from <target> as a raw-data resource <resource name>.
# For a library target the resource travels to the programs that link it.

include(HostTool)
set(QUOR_STRING_TOOL_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/../platform/tools/MakeStringTable.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../platform/StringTableFormat.cpp)

function(quor_add_string_table target)
  cmake_parse_arguments(ARG "" "NAME;SOURCE" "" ${ARGN})
  quor_host_tool(MakeStringTable tool SOURCES ${QUOR_STRING_TOOL_SOURCES})
  get_filename_component(source ${ARG_SOURCE} ABSOLUTE)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/strings)
  # Ninja makes an output's folder itself; the Makefile generators do not.
  file(MAKE_DIRECTORY ${dir})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(scope PRIVATE)
  else()
    set(scope INTERFACE)
  endif()
  if(WIN32)
    set(bin ${dir}/${ARG_NAME}.bin)
    add_custom_command(OUTPUT ${bin} COMMAND ${tool} --bin ${source} ${bin}
                       DEPENDS ${source} ${tool} VERBATIM)
    file(WRITE ${dir}/${ARG_NAME}.rc "${ARG_NAME} RCDATA \"${bin}\"\n")
    set_source_files_properties(${dir}/${ARG_NAME}.rc PROPERTIES OBJECT_DEPENDS ${bin})
    target_sources(${target} ${scope} ${dir}/${ARG_NAME}.rc)
    add_custom_target(${ARG_NAME}_table DEPENDS ${bin})
    add_dependencies(${target} ${ARG_NAME}_table)
  else()
    set(cpp ${dir}/${ARG_NAME}.cpp)
    add_custom_command(OUTPUT ${cpp} COMMAND ${tool} --cpp ${ARG_NAME} ${source} ${cpp}
                       DEPENDS ${source} ${tool} VERBATIM)
    target_sources(${target} ${scope} ${cpp})
    add_custom_target(${ARG_NAME}_table DEPENDS ${cpp})
    add_dependencies(${target} ${ARG_NAME}_table)
  endif()
endfunction()
