add_executable(bench_db ${CMAKE_CURRENT_SOURCE_DIR}/bench_db.cpp)
target_link_libraries(bench_db PRIVATE tallyon_db)
