# One chart repaint with all five curves full, at the form's size and at
# full HD, drawn offscreen.
add_executable(bench_chart ${CMAKE_CURRENT_LIST_DIR}/bench_chart.cpp)
target_link_libraries(bench_chart PRIVATE tav47widgets benchmark::benchmark)
