# Demo data for the table service (used by tools/services/tables and ./run).
add_executable(seed-demo seed-demo.cpp)
target_link_libraries(seed-demo PRIVATE kestrun_cloud)
