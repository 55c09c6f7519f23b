# The simulated TAV47 on a pseudo-terminal (POSIX only): the core library that
# tests start in-process, the tav47-sim program, and tav47-demo, the tool with
# a simulated device attached.
if(UNIX)
    add_library(tav47sim STATIC
        ${CMAKE_CURRENT_LIST_DIR}/sim/simulator.h ${CMAKE_CURRENT_LIST_DIR}/sim/simulator.cpp
        ${CMAKE_CURRENT_LIST_DIR}/sim/simulatorthread.h
        ${CMAKE_CURRENT_LIST_DIR}/sim/simulatorthread.cpp
    )
    target_include_directories(tav47sim PUBLIC ${CMAKE_CURRENT_LIST_DIR}/sim)
    target_link_libraries(tav47sim PUBLIC tav47core Qt5::Core)
    # openpty is in the C library on glibc 2.34 and later and on macOS, in
    # libutil on older glibc and the BSDs.
    include(CheckFunctionExists)
    check_function_exists(openpty TAV47_OPENPTY_IN_LIBC)
    if(NOT TAV47_OPENPTY_IN_LIBC)
        target_link_libraries(tav47sim PRIVATE util)
    endif()

    add_executable(tav47-sim ${CMAKE_CURRENT_LIST_DIR}/sim/main.cpp)
    target_link_libraries(tav47-sim PRIVATE tav47sim)

    add_executable(tav47-demo ${CMAKE_CURRENT_LIST_DIR}/demo/main.cpp
        ${CMAKE_CURRENT_LIST_DIR}/demo/demooptions.h ${CMAKE_CURRENT_LIST_DIR}/demo/demooptions.cpp
        ${CMAKE_CURRENT_LIST_DIR}/demo/runstats.h ${CMAKE_CURRENT_LIST_DIR}/demo/runstats.cpp)
    target_link_libraries(tav47-demo PRIVATE tav47sim tav47widgets)

    set_target_properties(tav47-sim tav47-demo PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endif()
