tallyon_test(tst_model SOURCES tst_model.cpp tst_data_fixture.h LIBS tallyon_model)
