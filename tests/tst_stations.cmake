# Scoring stations as processes of their own on the test server.
include(${CMAKE_CURRENT_LIST_DIR}/server.cmake)
add_executable(station_driver station_driver.cpp)
target_link_libraries(station_driver PRIVATE tallyon_forms Qt6::Test)
tallyon_test(tst_stations SOURCES tst_stations.cpp test_server.h LIBS tallyon_data)
target_compile_definitions(tst_stations PRIVATE STATION_DRIVER="$<TARGET_FILE:station_driver>")
add_dependencies(tst_stations station_driver)
tallyon_server_test(tst_stations SKIP_WITHOUT_SERVER)
