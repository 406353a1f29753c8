tallyon_test(tst_form SOURCES tst_form.cpp LIBS tallyon_forms)
