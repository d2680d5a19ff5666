# The account-service client against the real local account service and a fault server.
kestrun_add_test(tst_qzbackendless ${CMAKE_CURRENT_SOURCE_DIR}/tst_qzbackendless.cpp
    kestrun_cloud)
target_compile_definitions(tst_qzbackendless PRIVATE
    KESTRUN_ACCOUNTS_BIN="$<TARGET_FILE:kestrun-accounts>")
add_dependencies(tst_qzbackendless kestrun-accounts)
