tallyon_test(tst_controls SOURCES tst_controls.cpp LIBS tallyon_controls)
