# Save latency of one and of four stations on a loopback Firebird server.
add_executable(bench_server ${CMAKE_CURRENT_LIST_DIR}/bench_server.cpp)
target_link_libraries(bench_server PRIVATE tallyon_forms Qt6::Widgets Qt6::Test)
target_compile_definitions(bench_server PRIVATE
  TALLYON_TEST_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/scripts/test-server.sh")
