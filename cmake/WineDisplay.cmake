# One X display and one Wine server for a tier's whole run, started before any program of the
# prefix (Wine gives a prefix's programs the display of the one that started its desktop) and
# stopped by process id after the last; every test named uses them.
function(sfx_wine_display tier)
    set(state ${CMAKE_BINARY_DIR}/wine-display)
    set(script ${CMAKE_SOURCE_DIR}/tests/ui/wine-display.sh)
    add_test(NAME ${tier}.display.start COMMAND ${script} start ${state})
    add_test(NAME ${tier}.display.stop COMMAND ${script} stop ${state})
    set_tests_properties(${tier}.display.start PROPERTIES FIXTURES_SETUP wine_display TIMEOUT 300)
    set_tests_properties(${tier}.display.stop PROPERTIES FIXTURES_CLEANUP wine_display)
    foreach(test ${ARGN})
        set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED wine_display)
        set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT_MODIFICATION
            SFX_DISPLAY_FILE=set:${state}/display)
    endforeach()
endfunction()
