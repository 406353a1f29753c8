include(${CMAKE_CURRENT_LIST_DIR}/server.cmake)
tallyon_test(tst_server SOURCES tst_server.cpp tst_data_fixture.h test_server.h LIBS tallyon_model)
tallyon_server_test(tst_server SKIP_WITHOUT_SERVER)
