tallyon_test(tst_form SOURCES tst_form.cpp tst_data_fixture.h LIBS tallyon_forms)
