# The window-test driver library, its probe DLL and amb_add_gui_test(). Included
# from every directory that holds window tests; defined once.
include_guard(GLOBAL)

set(AMB_GUIDRIVER_DIR ${CMAKE_CURRENT_LIST_DIR})

# Loaded into the program under test by the driver (menus are private to their
# process under Wine). A fixed image base makes it land at the same address in
# the test and in the target, so that the test can start its entry point there.
add_library(guiprobe SHARED ${AMB_GUIDRIVER_DIR}/probe.cpp)
set_target_properties(guiprobe PROPERTIES PREFIX "" OUTPUT_NAME guiprobe
                      RUNTIME_OUTPUT_DIRECTORY ${AMB_TEST_BIN_DIR})
target_link_libraries(guiprobe PRIVATE user32)
target_link_options(guiprobe PRIVATE -Wl,--image-base,0x6b400000 -Wl,--disable-dynamicbase)

add_library(amb_guidriver STATIC ${AMB_GUIDRIVER_DIR}/guidriver.cpp
                                 ${AMB_GUIDRIVER_DIR}/screenshot.cpp)
target_include_directories(amb_guidriver PUBLIC ${AMB_GUIDRIVER_DIR})
target_link_libraries(amb_guidriver PUBLIC amb_common comctl32 user32 gdi32 advapi32 shell32)
add_dependencies(amb_guidriver guiprobe)

# amb_add_gui_test(<name> SOURCES ... [LIBS ...] [TIMEOUT s] [ENV k=v ...] [RUN_SERIAL])
# A GoogleTest program that drives windows on the test display. All window tests
# of a build tree share one Wine prefix, so one HKCU and one "Ambgui" mutex:
# they take the resource lock "ambgui" and run one at a time. RUN_SERIAL: no
# other test runs beside them (they change what the whole prefix sees).
function(amb_add_gui_test name)
  cmake_parse_arguments(G "RUN_SERIAL" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT G_TIMEOUT)
    set(G_TIMEOUT 90)
  endif()
  # Screenshots of failed window tests land here.
  set(shot_dir ${CMAKE_BINARY_DIR}/tests/shots)
  file(MAKE_DIRECTORY ${shot_dir})
  get_property(before DIRECTORY PROPERTY TESTS)
  amb_add_wine_gtest(${name} SOURCES ${G_SOURCES} LIBS amb_guidriver ${G_LIBS}
                     DISPLAY TIMEOUT ${G_TIMEOUT} ENV AMB_SHOT_DIR=${shot_dir} ${G_ENV})
  get_property(after DIRECTORY PROPERTY TESTS)
  if(before)
    list(REMOVE_ITEM after ${before})
  endif()
  if(after)
    # A GTEST_SKIP() shows in CTest's summary as skipped, not passed.
    set_tests_properties(${after} PROPERTIES RESOURCE_LOCK ambgui
                         SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
    if(G_RUN_SERIAL)
      set_tests_properties(${after} PROPERTIES RUN_SERIAL TRUE)
    endif()
  endif()
  add_dependencies(${name} guiprobe)
endfunction()
