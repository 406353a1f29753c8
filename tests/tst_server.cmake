tallyon_test(tst_server SOURCES tst_server.cpp LIBS tallyon_model)
