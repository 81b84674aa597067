# quellix_library(<name> LIBS <deps...>)
# One static library per source folder: every .cpp/.h of the folder (not of
# its sub-folders) belongs to it.
#
# A feature's core, which uses no widgets and is tested without a display,
# is the library of the feature's folder and is named *_core; its windows
# are the library of the gui/ folder below it. A core may depend only on Qt
# Core and Network, the libraries without widgets (text, platform, config,
# net) and other cores: configuring fails otherwise.
function(quellix_library name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  if(name MATCHES "_core$")
    foreach(lib IN LISTS ARG_LIBS)
      if(NOT lib MATCHES "^(Qt6::Core|Qt6::Network|quellix_text|quellix_platform|quellix_config|quellix_net|quellix_[a-z]+_core)$")
        message(FATAL_ERROR "${name} is a core without widgets and cannot use ${lib}")
      endif()
    endforeach()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()
