# The account-service client against the real local account service and a fault server.
kestrun_add_test(tst_qzbackendless ${CMAKE_CURRENT_SOURCE_DIR}/tst_qzbackendless.cpp
    kestrun_cloud)
target_compile_definitions(tst_qzbackendless PRIVATE
    KESTRUN_ACCOUNTS_BIN="$<TARGET_FILE:kestrun-accounts>")
add_dependencies(tst_qzbackendless kestrun-accounts)

# The local account service itself and its service script.
kestrun_add_test(tst_kestrunaccounts ${CMAKE_CURRENT_SOURCE_DIR}/tst_kestrunaccounts.cpp
    kestrun_cloud)
target_compile_definitions(tst_kestrunaccounts PRIVATE
    KESTRUN_ACCOUNTS_BIN="$<TARGET_FILE:kestrun-accounts>"
    KESTRUN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(tst_kestrunaccounts kestrun-accounts)
