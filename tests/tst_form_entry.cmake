tallyon_test(tst_form_entry SOURCES tst_form_entry.cpp tst_data_fixture.h LIBS tallyon_forms)
