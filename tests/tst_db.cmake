tallyon_test(tst_db SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tst_db.cpp LIBS tallyon_db)
