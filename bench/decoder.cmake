# Frame decoder throughput and the cost of one frame's statistics.
add_executable(bench_decoder ${CMAKE_CURRENT_LIST_DIR}/bench_decoder.cpp)
target_link_libraries(bench_decoder PRIVATE tav47core benchmark::benchmark)
