# Shared build settings and the two-flavour program rule.

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                        _WIN32_WINNT=0x0A00 WINVER=0x0A00)

if(MSVC)
  add_compile_options(/W4 /utf-8)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
else()
  add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-Wall> $<$<COMPILE_LANGUAGE:C,CXX>:-Wextra>
                      $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>)
  # Resource scripts are UTF-8 (#pragma code_page(65001)).
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
  # No runtime DLLs beside the programs: libgcc, libstdc++ and winpthread go in statically.
  set(AMB_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
  add_link_options(${AMB_STATIC_RUNTIME})
  # Programs enter through wmain / wWinMain.
  set(AMB_UNICODE_ENTRY -municode)
endif()

# amb_add_program(<name> <WIN32|CONSOLE> SOURCES ... [LIBS ...])
#
# Builds the program twice from one set of object files:
#   <name>      release flavour, linked against the platform's import libraries;
#   <name>_sim  sim flavour, the same objects linked against AmbSim's import
#               library first, so that the account functions it exports win.
# Both are called <name>.exe; the sim one goes to bin/sim.
function(amb_add_program name kind)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS;INCLUDES" ${ARGN})
  add_library(${name}_obj OBJECT ${P_SOURCES})
  target_include_directories(${name}_obj PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${P_INCLUDES})
  target_link_libraries(${name}_obj PRIVATE amb_res_includes ${P_LIBS})
  set(win32)
  if(kind STREQUAL "WIN32")
    set(win32 WIN32)
  endif()

  add_executable(${name} ${win32} $<TARGET_OBJECTS:${name}_obj>)
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  target_link_options(${name} PRIVATE ${AMB_UNICODE_ENTRY})

  if(TARGET AmbSim)
    add_executable(${name}_sim ${win32} $<TARGET_OBJECTS:${name}_obj>)
    set_target_properties(${name}_sim PROPERTIES OUTPUT_NAME ${name}
                          RUNTIME_OUTPUT_DIRECTORY ${AMB_SIM_BIN_DIR})
    target_link_libraries(${name}_sim PRIVATE AmbSim ${P_LIBS})
    target_link_options(${name}_sim PRIVATE ${AMB_UNICODE_ENTRY})
  endif()
endfunction()
