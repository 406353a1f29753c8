# The tallyon program run on temporary files, and its CSV reader.
if(TARGET tallyon AND NOT WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/server.cmake)
  tallyon_test(tst_host SOURCES tst_host.cpp tst_module_fixture.h test_server.h
    ${PROJECT_SOURCE_DIR}/host/csv.cpp ${PROJECT_SOURCE_DIR}/host/csv.h
    LIBS tallyon_data Qt6::Gui)
  target_compile_definitions(tst_host PRIVATE
    TALLYON_EXE="$<TARGET_FILE:tallyon>"
    TALLYON_BIN_DIR="$<TARGET_FILE_DIR:tallyon>")
  add_dependencies(tst_host tallyon VozozeVove)
  tallyon_server_test(tst_host)
endif()
