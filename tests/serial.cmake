# The serial link: port list rule, the main window on a real pseudo-terminal,
# and the device simulator those tests talk to. The programs that build a
# MainWindow get a folder each, for a config.ini of their own.
tav47_test(tst_portlist tst_portlist.cpp LIBS tav47widgets)
set_target_properties(tst_portlist PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/tst_portlist)
if(TARGET tav47sim)
    tav47_test(tst_simulator tst_simulator.cpp LIBS tav47sim)
    tav47_test(tst_serialport tst_serialport.cpp LIBS tav47sim tav47widgets)
    set_target_properties(tst_serialport PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/tst_serialport)
endif()
