# Window shell, about window, chart drawing, readouts and the settings file.
# Every program that builds a MainWindow gets a folder of its own: the window
# reads and writes config.ini beside its executable, and the tests must not
# share that file when CTest runs them side by side.
function(tav47_gui_test name)
    tav47_test(${name} ${ARGN} LIBS tav47widgets)
    set_target_properties(${name} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${name})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_LIST_DIR})
endfunction()

tav47_gui_test(tst_mainwindow tst_mainwindow.cpp guitest.h)
tav47_gui_test(tst_about tst_about.cpp guitest.h)
tav47_gui_test(tst_chart tst_chart.cpp guitest.h)
tav47_gui_test(tst_readouts tst_readouts.cpp guitest.h)
tav47_gui_test(tst_settings tst_settings.cpp guitest.h)
