# The tallyon program run on temporary files, and its CSV reader.
if(NOT WIN32)
  tallyon_test(tst_host SOURCES tst_host.cpp tst_module_fixture.h LIBS tallyon_host Qt6::Gui)
  target_compile_definitions(tst_host PRIVATE
    TALLYON_EXE="$<TARGET_FILE:tallyon>"
    TALLYON_BIN_DIR="$<TARGET_FILE_DIR:tallyon>")
  add_dependencies(tst_host tallyon VozozeVove)
endif()
