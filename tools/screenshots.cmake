# The screenshot renderer of tools/screenshots.
if(TARGET kestrun_ui)
    add_executable(kestrun-screenshots ${CMAKE_CURRENT_SOURCE_DIR}/kestrun-screenshots.cpp)
    target_link_libraries(kestrun-screenshots PRIVATE kestrun_ui)
    # The local Maps stand-in of the map tests draws the map window's markers.
    target_include_directories(kestrun-screenshots PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
endif()
