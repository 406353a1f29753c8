# The module loaded by path, as the host loads it.
if(TARGET VozozeVove AND NOT WIN32)
  add_executable(tst_module_loader tst_module_loader.cpp)
  set_target_properties(tst_module_loader PROPERTIES AUTOMOC OFF)
  target_link_libraries(tst_module_loader PRIVATE ${CMAKE_DL_LIBS})

  tallyon_test(tst_module SOURCES tst_module.cpp tst_module_fixture.h
    LIBS tallyon_data tallyon_sharedheap Qt6::Widgets ${CMAKE_DL_LIBS})
  target_compile_definitions(tst_module PRIVATE
    TALLYON_MODULE="$<TARGET_FILE:VozozeVove>"
    TALLYON_MODULE_LOADER="$<TARGET_FILE:tst_module_loader>")
  add_dependencies(tst_module VozozeVove tst_module_loader)
endif()
