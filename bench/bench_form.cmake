# The points window: the Next round trip and the show of a large competition, against their floors.
add_executable(bench_form ${CMAKE_CURRENT_LIST_DIR}/bench_form.cpp)
target_link_libraries(bench_form PRIVATE tallyon_forms Qt6::Widgets)
