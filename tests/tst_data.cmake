tallyon_test(tst_data SOURCES tst_data.cpp tst_data_fixture.h LIBS tallyon_data)
