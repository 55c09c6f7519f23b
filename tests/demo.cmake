# tav47-demo's options and run figures, and the program itself run as the
# bench scripts run it: offscreen, on its own simulator or on tav47-sim's port.
if(TARGET tav47-demo)
    set(demo_dir ${PROJECT_SOURCE_DIR}/tools/demo)
    tav47_test(tst_demo tst_demo.cpp ${demo_dir}/demooptions.cpp ${demo_dir}/runstats.cpp
        LIBS Qt5::Gui)
    target_include_directories(tst_demo PRIVATE ${demo_dir})
    target_compile_definitions(tst_demo PRIVATE TAV47_DEMO_PATH="$<TARGET_FILE:tav47-demo>"
        TAV47_SIM_PATH="$<TARGET_FILE:tav47-sim>")
    add_dependencies(tst_demo tav47-demo tav47-sim)
endif()
