# Saving an archer's arrows and ordering the archers, against their floors.
add_executable(bench_model ${CMAKE_CURRENT_LIST_DIR}/bench_model.cpp)
target_link_libraries(bench_model PRIVATE tallyon_model Qt6::Core)
