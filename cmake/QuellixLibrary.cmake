# quellix_library(<name> [UNITS <stem>...] LIBS <deps...>)
# One static library per source folder: every .cpp/.h of the folder (not of
# its sub-folders) belongs to it.
#
# A feature folder may hold two libraries: its core, which uses Qt Core and
# Network only and is tested without a display, and its windows. The core is
# declared first with UNITS (the file names without ".cpp"/".h"); a later
# call without UNITS takes the folder's remaining files. A library named
# *_core may depend only on Qt Core and Network, the libraries without widgets
# (text, platform, config, net) and other cores.
function(quellix_library name)
  cmake_parse_arguments(ARG "" "" "LIBS;UNITS" ${ARGN})
  if(name MATCHES "_core$")
    foreach(lib IN LISTS ARG_LIBS)
      if(NOT lib MATCHES "^(Qt6::Core|Qt6::Network|quellix_text|quellix_platform|quellix_config|quellix_net|quellix_[a-z]+_core)$")
        message(FATAL_ERROR "${name} is a core without widgets and cannot use ${lib}")
      endif()
    endforeach()
  endif()
  get_directory_property(claimed QUELLIX_CLAIMED_SOURCES)
  if(ARG_UNITS)
    set(sources)
    foreach(unit IN LISTS ARG_UNITS)
      set(found FALSE)
      foreach(ext cpp h)
        set(file ${CMAKE_CURRENT_SOURCE_DIR}/${unit}.${ext})
        if(EXISTS ${file})
          list(APPEND sources ${file})
          set(found TRUE)
        endif()
      endforeach()
      if(NOT found)
        message(FATAL_ERROR "quellix_library(${name}): no ${unit}.cpp or ${unit}.h")
      endif()
    endforeach()
  else()
    file(GLOB sources CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    if(claimed)
      list(REMOVE_ITEM sources ${claimed})
    endif()
  endif()
  list(APPEND claimed ${sources})
  set_directory_properties(PROPERTIES QUELLIX_CLAIMED_SOURCES "${claimed}")
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()
