# The local account service (tests and the demo of ./run).
add_executable(kestrun-accounts accounts/main.cpp accounts/AccountStore.h
    accounts/AccountStore.cpp)
target_include_directories(kestrun-accounts PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(kestrun-accounts PRIVATE Qt6::Core PkgConfig::HTTPLIB Threads::Threads)
