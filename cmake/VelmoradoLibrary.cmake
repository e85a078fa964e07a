# velmorado_library(NAME velmorado_engine FOLDER engine
#                   SOURCES a.cpp a.h ...
#                   PUBLIC deps... PRIVATE deps...)
#
# One static library per folder of src/. Each library publishes an include
# root of its own, build/include/<folder>/, which holds a single link
# <folder> -> src/<folder>: sources write #include "engine/Scheduler.h", and
# a header of a library is found only by code that links that library. A
# layer that includes a header of a layer it does not link (the engine
# including a window header, say) fails to compile.
#
# PUBLIC is for what the library's own headers include; everything else is
# PRIVATE, so that it does not leak into the include path of the layers above.
function(velmorado_library)
  cmake_parse_arguments(L "" "NAME;FOLDER" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  set(root ${CMAKE_BINARY_DIR}/include/${L_FOLDER})
  file(MAKE_DIRECTORY ${root})
  if(NOT EXISTS ${root}/${L_FOLDER})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${L_FOLDER} ${root}/${L_FOLDER} SYMBOLIC)
  endif()
  add_library(${L_NAME} STATIC ${L_SOURCES})
  target_include_directories(${L_NAME} PUBLIC ${root})
  target_link_libraries(${L_NAME} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
  set_property(GLOBAL APPEND PROPERTY VELMORADO_INCLUDE_ROOTS ${root})
endfunction()
