# The results: ranking, result lists, score cards, the files written and the board.
if(TARGET tallyon AND NOT WIN32)
  set(RESULTS_HOST_FILES
    board.cpp board.h competition_io.cpp competition_io.h csv.cpp csv.h latin1.cpp latin1.h
    list_filter.cpp list_filter.h login.cpp login.h points_events.cpp points_events.h
    ranking.cpp ranking.h results_output.cpp results_output.h results_schema.cpp results_schema.h
    scorecard.cpp scorecard.h)
  list(TRANSFORM RESULTS_HOST_FILES PREPEND ${PROJECT_SOURCE_DIR}/host/)
  tallyon_test(tst_results SOURCES tst_results.cpp tst_module_fixture.h ${RESULTS_HOST_FILES}
    LIBS tallyon_data tallyon_model Qt6::Widgets)
  target_include_directories(tst_results PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(tst_results PRIVATE TALLYON_EXE="$<TARGET_FILE:tallyon>")
  add_dependencies(tst_results tallyon)
endif()
