# quor_embed_version(<target> DESCRIPTION <text> [OMIT <value names>...])
#
# Embeds the version block: values from the project's version, a description
# and a legal notice, in string tables 040904E4 and 040904B0. Linux: an ELF
# section written by platform/tools/MakeVersionBlock in the format of
# platform/VersionInfoBlock.h; Windows: a VERSIONINFO resource. OMIT leaves
# values out (tests use it for incomplete blocks).
include(HostTool)
set(QUOR_LEGAL_COPYRIGHT "Copyright (C) 2026 Quor Systems. All rights reserved.")
set(QUOR_PRODUCT_NAME "Quor Tallyport")

function(quor_embed_version target)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "OMIT" ${ARGN})
  set(names FileVersion ProductVersion FileDescription LegalCopyright ProductName)
  set(values "${PROJECT_VERSION}" "${PROJECT_VERSION}" "${ARG_DESCRIPTION}"
      "${QUOR_LEGAL_COPYRIGHT}" "${QUOR_PRODUCT_NAME}")
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/version_${target})
  get_target_property(type ${target} TYPE)

  if(WIN32)
    string(REPLACE "." "," numeric "${PROJECT_VERSION}")
    if(type STREQUAL "EXECUTABLE")
      set(filetype VFT_APP)
    else()
      set(filetype VFT_DLL)
    endif()
    set(strings "")
    foreach(name value IN ZIP_LISTS names values)
      if(NOT name IN_LIST ARG_OMIT)
        string(APPEND strings "      VALUE \"${name}\", \"${value}\\0\"\n")
      endif()
    endforeach()
    file(WRITE ${dir}/version.rc
      "#include <winver.h>\n"
      "1 VERSIONINFO\nFILEVERSION ${numeric}\nPRODUCTVERSION ${numeric}\n"
      "FILEOS VOS__WINDOWS32\nFILETYPE ${filetype}\nBEGIN\n"
      "  BLOCK \"StringFileInfo\"\n  BEGIN\n"
      "    BLOCK \"040904E4\"\n    BEGIN\n${strings}    END\n"
      "    BLOCK \"040904B0\"\n    BEGIN\n${strings}    END\n"
      "  END\n  BLOCK \"VarFileInfo\"\n  BEGIN\n"
      "    VALUE \"Translation\", 0x409, 1252, 0x409, 1200\n  END\nEND\n")
    target_sources(${target} PRIVATE ${dir}/version.rc)
  else()
    set(lines "")
    foreach(table 040904E4 040904B0)
      foreach(name value IN ZIP_LISTS names values)
        if(NOT name IN_LIST ARG_OMIT)
          string(APPEND lines "\\StringFileInfo\\${table}\\${name}\t${value}\n")
        endif()
      endforeach()
    endforeach()
    quor_host_tool(MakeVersionBlock tool
      SOURCES ${PROJECT_SOURCE_DIR}/platform/tools/MakeVersionBlock.cpp)
    # Written only when the values change, so the block is remade only then.
    file(GENERATE OUTPUT ${dir}/version_values.txt CONTENT "${lines}")
    add_custom_command(OUTPUT ${dir}/version_block.c
      COMMAND ${tool} ${dir}/version_values.txt ${dir}/version_block.c
      DEPENDS ${dir}/version_values.txt ${tool} VERBATIM)
    target_sources(${target} PRIVATE ${dir}/version_block.c)
  endif()
endfunction()
