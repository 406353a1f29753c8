# Ranking 5,000 archers, against the floor of one aggregate select.
add_executable(bench_results ${CMAKE_CURRENT_LIST_DIR}/bench_results.cpp)
target_link_libraries(bench_results PRIVATE tallyon_host)
