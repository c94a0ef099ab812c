# Builds Quiltmapper import plug-ins.
#
#   qm_add_spi(<target> SOURCES <files>... [LIBS <libs>...]
#              [OUTPUT_DIRECTORY <dir>] [NO_INSTALL])
#
# Makes the module library <target>.spi (no "lib" prefix) against the plug-in header
# <quiltmapper/spi.h>. It lands in OUTPUT_DIRECTORY, else in QM_SPI_DEFAULT_OUTPUT_DIRECTORY
# when that is set, else in ${CMAKE_BINARY_DIR}/plugins, and is installed into the program's
# plug-in folder (QM_SPI_INSTALL_DIR).
# Only the plug-in exports are visible.

function(qm_add_spi target)
  cmake_parse_arguments(ARG "NO_INSTALL" "OUTPUT_DIRECTORY" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "qm_add_spi(${target}): no SOURCES")
  endif()
  if(NOT ARG_OUTPUT_DIRECTORY AND QM_SPI_DEFAULT_OUTPUT_DIRECTORY)
    set(ARG_OUTPUT_DIRECTORY ${QM_SPI_DEFAULT_OUTPUT_DIRECTORY})
  elseif(NOT ARG_OUTPUT_DIRECTORY)
    set(ARG_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plugins)
  endif()
  add_library(${target} MODULE ${ARG_SOURCES})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    C_STANDARD 11
    SUFFIX ".spi"
    OUTPUT_NAME ${target}
    LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY}
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/include)
  if(ARG_LIBS)
    target_link_libraries(${target} PRIVATE ${ARG_LIBS})
  endif()
  if(NOT ARG_NO_INSTALL)
    install(TARGETS ${target} LIBRARY DESTINATION ${QM_SPI_INSTALL_DIR})
  endif()
endfunction()
